-- The tests' driver inside MUSHclient (mushclient_harness.py makes it a plugin): every tenth of a
-- second it runs the next request the harness left in the run's folder, a Lua chunk, and writes
-- what the chunk returned as the answer. A chunk that returns nil is not done (a wait): it runs
-- again at the next tick.
local FOLDER = "@FOLDER@" -- the run's folder as Windows sees it, with a trailing slash

local next_request = 1

local function read_file(path)
    local file = io.open(path, "rb")
    if not file then
        return nil
    end
    local text = file:read("*a")
    file:close()
    return text
end

local function write_file(path, text)
    local file = assert(io.open(path .. ".part", "wb"))
    file:write(text)
    file:close()
    os.remove(path)
    assert(os.rename(path .. ".part", path))
end

local function hex(text)
    return (text:gsub(".", function(c)
        return string.format("%02x", c:byte())
    end))
end

-- Every line of the output window: "L note input hex(text)", then one "S foreground background
-- bold hex(text)" per style run (colours as RRGGBB).
local function rgb(colour)
    return string.format("%02x%02x%02x", colour % 256, math.floor(colour / 256) % 256,
        math.floor(colour / 65536) % 256)
end

function dump_lines(first)
    local out = {}
    for n = first or 1, GetLinesInBufferCount() do
        out[#out + 1] = table.concat({ "L", GetLineInfo(n, 4) and 1 or 0,
            GetLineInfo(n, 5) and 1 or 0, hex(GetLineInfo(n, 1)) }, " ")
        for s = 1, GetLineInfo(n, 11) do
            out[#out + 1] = table.concat({ "S", rgb(GetStyleInfo(n, s, 14)),
                rgb(GetStyleInfo(n, s, 15)), GetStyleInfo(n, s, 8) and 1 or 0,
                hex(GetStyleInfo(n, s, 1)) }, " ")
        end
    end
    return table.concat(out, "\n") .. "\n"
end

-- The number of the first line from `from` on whose text holds `text`, or nil.
function find_line(text, from)
    for n = from or 1, GetLinesInBufferCount() do
        if string.find(GetLineInfo(n, 1), text, 1, true) then
            return n
        end
    end
    return nil
end

-- How many lines are exactly `text`.
function count_lines(text)
    local count = 0
    for n = 1, GetLinesInBufferCount() do
        if GetLineInfo(n, 1) == text then
            count = count + 1
        end
    end
    return count
end

function driver_tick()
    local path = FOLDER .. "request-" .. next_request .. ".lua"
    local code = read_file(path)
    if not code then
        return
    end
    local chunk, failure = loadstring(code, "request " .. next_request)
    local ok, result
    if chunk then
        ok, result = pcall(chunk)
    else
        ok, result = false, failure
    end
    if ok and result == nil then
        return -- not done yet
    end
    write_file(FOLDER .. "answer-" .. next_request .. ".txt",
        ok and tostring(result) or ("ERROR " .. tostring(result)))
    next_request = next_request + 1
end

-- Packets and lines as they arrive, once `recording` is set: each packet's size, how many
-- packets ended inside a line, the time of each line that the test marks and of each packet
-- that holds a text it marks, with the ticks counted by then (for the measurements). The driver
-- comes first: it sees the game's packets before the plugin under test changes them, and what
-- the plugin simulates.
recording = false
packet_sizes, marked_times, marked_packets = {}, {}, {}
packets_ending_inside_a_line = 0
marks, packet_marks = {}, {}
ticks = 0

function OnPluginPacketReceived(packet)
    if recording then
        packet_sizes[#packet_sizes + 1] = #packet
        if packet ~= "" and string.byte(packet, -1) ~= 10 then
            packets_ending_inside_a_line = packets_ending_inside_a_line + 1
        end
        for mark in pairs(packet_marks) do
            if string.find(packet, mark, 1, true) then
                marked_packets[#marked_packets + 1] = { mark, utils.timer(), ticks }
            end
        end
    end
    return packet
end

function OnPluginTick()
    ticks = ticks + 1
end

function OnPluginLineReceived(text)
    if recording and marks[text] then
        marked_times[#marked_times + 1] = utils.timer()
    end
    return true
end
