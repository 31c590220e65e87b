-- lua5.1 bench_lua_engine.lua ENGINE TABLES MIX: the Lua engine on the bench's mix of received
-- lines, in ns per line, beside the way players build this by hand: one trigger per table
-- entry, each a Lua pattern, tried in cascade order. Both must give every line the same answer.
local engine_path, tables_path, mix_path = ...
local tables = dofile(tables_path)
local engine = assert(loadfile(engine_path))(tables)

local find, sub, gsub = string.find, string.sub, string.gsub
local clock = os.clock
local MIN_SECONDS = 0.5

local lines = {}
for line in io.lines(mix_path) do
    lines[#lines + 1] = line
end

-- ---- The naive way: every entry its own anchored Lua pattern --------------------------------
local function lua_pattern(text, exact)
    local escaped = gsub(text, "[%^%$%(%)%%%.%[%]%+%-%*%?]", "%%%0")
    if not exact then
        escaped = gsub(gsub(gsub(escaped, "%%%*", ".-"), "%%%?", "."), "#", "%%d")
    end
    return "^" .. escaped .. "$"
end

local triggers = {}
for _, test in ipairs(tables.tests) do
    local patterns = {}
    for _, entry in ipairs(test.entries) do
        patterns[#patterns + 1] = lua_pattern(entry.exact or entry.pattern, entry.exact ~= nil)
    end
    triggers[test.name] = { gated = test.gated, patterns = patterns }
end

local function holds(test, message)
    local any = false
    local patterns = test.patterns
    for k = 1, #patterns do
        if find(message, patterns[k]) then
            any = true -- every trigger runs, whether or not an earlier one fired
        end
    end
    return any
end

-- Mudlet runs every trigger on every line, so each entry's pattern is tried on each message;
-- the answer is then the first test in cascade order whose patterns held, as the engine's is.
local ORDER = { tables.speech, tables.gate }
for _, row in ipairs(tables.cascade) do
    ORDER[#ORDER + 1] = row.test
end
local held = {}
local function naive(line)
    -- The same prompt stripping as the engine, so that the two differ in the matching alone.
    local message = sub(line, engine.prompt_units(line) + 1)
    for k = 1, #ORDER do
        held[k] = holds(triggers[ORDER[k]], message)
    end
    if held[1] then
        return "speech"
    end
    for k = 3, #ORDER do
        if held[k] and (not triggers[ORDER[k]].gated or held[2]) then
            return ORDER[k]
        end
    end
    return "-"
end

local function per_line(decide)
    local rounds, started = 0, clock()
    repeat
        for k = 1, #lines do
            decide(lines[k])
        end
        rounds = rounds + 1
    until clock() - started >= MIN_SECONDS
    return (clock() - started) / (rounds * #lines) * 1e9
end

for k = 1, #lines do
    local want, got = engine.explain(lines[k]), naive(lines[k])
    if want ~= got then
        error(("line %d answered %s by the engine, %s the naive way: %q"):format(k, want, got,
            lines[k]))
    end
end
local decide = engine.decide
local engine_ns = per_line(decide)
local naive_ns = per_line(naive)
print(("Lua engine under %s, %d lines of the bench's mix, same answers for every line"):format(
    _VERSION, #lines))
print(("| %-45s | %10s |"):format("", "ns per line"))
print(("| %-45s | %10.1f |"):format("the Lua engine", engine_ns))
print(("| %-45s | %10.1f |"):format("one trigger (Lua pattern) per entry, all run", naive_ns))
print(("| %-45s | %9.1fx |"):format("the engine's advantage", naive_ns / engine_ns))
