-- Loaded into the test profile by tools/mudlet/drive as a profile script. It reads its orders from
-- the file named by BRAWLHUE_DRIVE_CONFIG (a Lua table), and at sysLoadEvent: installs the
-- package unless the profile already has it, runs the given Lua, then works through the steps
-- (wait for a shown line that contains a text; type a command as the input line would; send a
-- line to the game unseen) and
-- finally writes every shown line of the main console, with each character's colours and bold
-- flag, as JSON, waits for the screenshot if one is asked for, and closes Mudlet.
local config = dofile(os.getenv("BRAWLHUE_DRIVE_CONFIG"))

local function note(text)
  local file = io.open(config.log, "a")
  if file then
    file:write(os.date("!%H:%M:%S "), text, "\n")
    file:close()
  end
end

-- Errors in a timer's function would only reach Mudlet's error console; they go to the log,
-- and the run ends there. (Lua 5.1's xpcall passes no arguments: callers use a closure.)
local function guarded(fn)
  local ok, why = xpcall(fn, debug.traceback)
  if not ok then
    note("error: " .. tostring(why))
    -- Later, not at once: closing within sysLoadEvent crashes Mudlet as it goes on loading.
    tempTimer(0.1, closeMudlet)
  end
end

local function json_string(text)
  return '"' .. text:gsub('[%c"\\]', function(c)
    local named = { ['"'] = '\\"', ["\\"] = "\\\\", ["\n"] = "\\n", ["\r"] = "\\r", ["\t"] = "\\t" }
    return named[c] or string.format("\\u%04x", c:byte())
  end) .. '"'
end

-- Mudlet's positions in a line are UTF-16 code units; scripts get UTF-8.
local function utf16_length(text)
  local length = 0
  for i = 1, #text do
    local byte = text:byte(i)
    if byte < 0x80 or byte >= 0xc0 then
      length = length + (byte >= 0xf0 and 2 or 1)
    end
  end
  return length
end

local function hex(rgb)
  return string.format("%02x%02x%02x", rgb[1] or 0, rgb[2] or 0, rgb[3] or 0)
end

local function all_lines()
  return getLines("main", 0, getLineCount("main") + 1)
end

-- Every shown line: its text and its characters' formats, consecutive equal ones as one run
-- [count, foreground, background, bold]. getTextFormat refuses a line's last character, so each
-- line gets a space at its end first; the dump is the run's last act.
local function dump()
  local lines = all_lines()
  local parts = {}
  for y, text in ipairs(lines) do
    local length = utf16_length(text)
    local runs = {}
    if length > 0 then
      moveCursor("main", length, y - 1)
      insertText("main", " ")
      local last
      for x = 0, length - 1 do
        moveCursor("main", x, y - 1)
        selectSection("main", x, 1)
        local format = getTextFormat("main")
        local fg, bg, bold = "??????", "??????", false
        if type(format) == "table" then
          fg, bg, bold = hex(format.foreground), hex(format.background), format.bold
        end
        if last and last[2] == fg and last[3] == bg and last[4] == bold then
          last[1] = last[1] + 1
        else
          last = { 1, fg, bg, bold }
          runs[#runs + 1] = last
        end
      end
      deselect("main")
    end
    local encoded = {}
    for i, run in ipairs(runs) do
      encoded[i] = string.format('[%d,"%s","%s",%s]', run[1], run[2], run[3], tostring(run[4]))
    end
    parts[#parts + 1] = string.format('{"text":%s,"runs":[%s]}', json_string(text),
      table.concat(encoded, ","))
  end
  local partial = config.out .. ".partial"
  local file = assert(io.open(partial, "w"))
  file:write('{"lines":[\n', table.concat(parts, ",\n"), "\n]}\n")
  file:close()
  assert(os.rename(partial, config.out))
end

local function finish()
  dump()
  note("dumped")
  if not config.screenshot then
    closeMudlet()
    return
  end
  -- The driver takes the picture once the dump is there, then says so with this file.
  local function wait_for_picture()
    if io.open(config.out .. ".shot") then
      closeMudlet()
    else
      tempTimer(0.05, function() guarded(wait_for_picture) end)
    end
  end
  wait_for_picture()
end

local searched_from, waiting = 1, false
local run_steps
function run_steps(index)
  local step = config.steps[index]
  if not step then
    finish()
    return
  end
  if step.type ~= nil then
    note("typing " .. step.type)
    expandAlias(step.type, true)
    return run_steps(index + 1)
  end
  if step.send ~= nil then
    note("sending " .. step.send)
    send(step.send, false)
    return run_steps(index + 1)
  end
  if not waiting then
    note("waiting for " .. step.wait)
    waiting = true
  end
  local lines = all_lines()
  for y = searched_from, #lines do
    if lines[y]:find(step.wait, 1, true) then
      note("found " .. step.wait .. " in line " .. (y - 1))
      searched_from = y + 1
      waiting = false
      return run_steps(index + 1)
    end
  end
  tempTimer(0.05, function() guarded(function() run_steps(index) end) end)
end

local function installed(name)
  for _, package in ipairs(getPackages()) do
    if package == name then
      return true
    end
  end
  return false
end

local function start()
  note("loaded")
  if config.package and not installed(config.package_name) then
    installPackage(config.package)
    if not installed(config.package_name) then
      error("installPackage(" .. config.package .. ") did not install " .. config.package_name)
    end
    note("installed " .. config.package)
  end
  for _, code in ipairs(config.lua) do
    assert(loadstring(code))()
    note("ran " .. code)
  end
  run_steps(1)
end

registerAnonymousEventHandler("sysLoadEvent", function() guarded(start) end, true)
