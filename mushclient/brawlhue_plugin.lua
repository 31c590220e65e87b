-- Brawlhue in MUSHclient: colours the game's combat lines, answers #brawlhue, greets at connect
-- and keeps the on/off, palette and spoken tags choices per world. build_plugin.py puts the
-- engine in front of this file as the local `engine` (lua/brawlhue_engine.lua round the tables
-- written from the C++ engine).
--
-- The colours go into the game's bytes before MUSHclient reads them (OnPluginPacketReceived),
-- exactly where brawlhue-proxy puts them: MUSHclient then shows a coloured line as it shows the
-- proxy's, through the world's own palette and ANSI state, and the line stays a line of the
-- game's for triggers and logs. What a packet holds of an unfinished line waits, as in the
-- proxy, for the rest of the line, a telnet command, or the hold's end (at a tick of MUSHclient's).

local byte, char, find, sub, lower, gsub = string.byte, string.char, string.find, string.sub,
    string.lower, string.gsub
local concat = table.concat

local CHOICE_VARIABLE = "MeleeEnabled"
local APPEARANCE_VARIABLES = { palette = "MeleePalette", tags = "MeleeTags" }
-- The plug-in's own texts for the flag.
local TRUE_TEXT, FALSE_TEXT = "True", "False"
local COMMAND_WORD = "#brawlhue"

local enabled = true
local appearance = engine.default_appearance()

-- ---- Saying things ---------------------------------------------------------------------------

-- The proxy's own lines are plain text: the world's plain colours, as MUSHclient shows them.
local function say(text)
    ColourNote(RGBColourToName(GetNormalColour(8)), RGBColourToName(GetNormalColour(1)), text)
end

-- Failures are said at the next packet that begins a line, so that no line of the game's is cut
-- in two by a note; each different failure is said once.
local said_failures, unsaid = {}, {}
local function report(failure)
    failure = tostring(failure)
    if not said_failures[failure] then
        said_failures[failure] = true
        unsaid[#unsaid + 1] = "Brawlhue: a line was left as it came: " .. failure
    end
end

local function say_failures()
    if #unsaid > 0 then
        local failures = unsaid
        unsaid = {}
        for _, text in ipairs(failures) do
            say(text)
        end
    end
end

-- ---- The choice, a variable of the plugin saved with the world's plugin state -----------------

local function save_choice(on)
    SetVariable(CHOICE_VARIABLE, on and TRUE_TEXT or FALSE_TEXT)
    SaveState()
end

-- On when never set; anything else than the two texts is said once and counts as on.
local function load_choice()
    local value = GetVariable(CHOICE_VARIABLE)
    if value == nil or value == TRUE_TEXT then
        return true
    elseif value == FALSE_TEXT then
        return false
    end
    say("Brawlhue: the saved choice (" .. value .. ") could not be read; colouring is on.")
    save_choice(true)
    return true
end

-- The saved palette and tags; the default's where never set or unreadable.
local function load_appearance()
    return engine.saved_appearance(function(choice)
        local value = GetVariable(APPEARANCE_VARIABLES[choice])
        return value, APPEARANCE_VARIABLES[choice] .. " (" .. tostring(value) .. ")"
    end, say)
end

local function save_appearance(palette_set, tags_set)
    for choice, kept in pairs(engine.kept_choices(appearance, palette_set, tags_set)) do
        SetVariable(APPEARANCE_VARIABLES[choice], kept)
    end
    if palette_set or tags_set then
        SaveState()
    end
end

-- ---- The game's bytes ------------------------------------------------------------------------
-- A telnet reader that keeps every byte where it was but for the text of the line being read,
-- which goes on at a telnet command, at the line's end (coloured where the engine says so) or
-- when its hold runs out: the proxy's rules.

local IAC, SB, SE, WILL = 255, 250, 240, 251
local LF, CR = 10, 13
local TEXT, AFTER_IAC, OPTION, SB_OPTION, SB_DATA, SB_IAC = 1, 2, 3, 4, 5, 6
-- A longer unfinished line goes on as it is, and its rest uncoloured (the proxy's cap).
local LINE_CAP = 64 * 1024
local RESET = engine.reset

local state, verb = TEXT, 0
local line, sent = "", 0 -- the unfinished line's text (IAC IAC undone), how much of it is shown
local over_cap = false
local after_line_feed = false -- a CR now belongs to the ending of the line before (LF CR)

local out, count = {}, 0
local function put(bytes)
    count = count + 1
    out[count] = bytes
end

local function telnet_text(text)
    if find(text, "\255", 1, true) then
        return (gsub(text, "\255", "\255\255"))
    end
    return text
end

local function send_held()
    if #line > sent then
        put(telnet_text(sub(line, sent + 1)))
        sent = #line
    end
end

local function take_text(run)
    if after_line_feed then
        after_line_feed = false
        if byte(run, 1) == CR then
            put("\r")
            run = sub(run, 2)
            if run == "" then
                return
            end
        end
    end
    if over_cap then
        put(telnet_text(run))
        return
    end
    local room = LINE_CAP - #line
    if #run < room then
        line = line .. run
        return
    end
    line = line .. sub(run, 1, room)
    send_held()
    over_cap, line, sent = true, "", 0
    put(telnet_text(sub(run, room + 1)))
end

local function end_line()
    local body = line
    if byte(body, -1) == CR then
        body = sub(body, 1, -2)
    end
    local coloured = false
    if not over_cap then
        local ok, row, prompt_bytes = pcall(engine.decide, body)
        if not ok then
            report(row)
        elseif row and sent <= prompt_bytes then
            -- What is shown of the prompt stays; the reset comes after it, as from the proxy.
            put(RESET)
            put(telnet_text(sub(body, sent + 1, prompt_bytes)))
            put(engine.opening(row, appearance))
            put(telnet_text(sub(body, prompt_bytes + 1)))
            put(RESET)
            put(sub(line, #body + 1))
            coloured = true
        end
    end
    if not coloured then
        put(telnet_text(sub(line, sent + 1)))
    end
    put("\n")
    line, sent, over_cap, after_line_feed = "", 0, false, true
end

local function rewrite(packet)
    out, count = {}, 0
    local i, n = 1, #packet
    while i <= n do
        if state == TEXT then
            local stop = find(packet, "[\n\255]", i)
            if stop ~= i then
                take_text(sub(packet, i, (stop or n + 1) - 1))
            end
            if not stop then
                break
            end
            if byte(packet, stop) == LF then
                end_line()
            else
                state = AFTER_IAC
            end
            i = stop + 1
        elseif state == AFTER_IAC then
            local command = byte(packet, i)
            i = i + 1
            if command == IAC then
                take_text("\255")
                state = TEXT
            elseif command >= WILL then
                verb, state = command, OPTION
            elseif command == SB then
                state = SB_OPTION
            else
                send_held()
                put(char(IAC, command))
                state = TEXT
            end
        elseif state == OPTION or state == SB_OPTION then
            send_held()
            put(char(IAC, state == OPTION and verb or SB, byte(packet, i)))
            i = i + 1
            state = state == OPTION and TEXT or SB_DATA
        elseif state == SB_DATA then
            local stop = find(packet, "\255", i, true)
            put(sub(packet, i, (stop or n + 1) - 1))
            if not stop then
                break
            end
            state, i = SB_IAC, stop + 1
        else -- SB_IAC
            local command = byte(packet, i)
            if command == IAC or command == SE then
                put(char(IAC, command))
                state, i = command == IAC and SB_DATA or TEXT, i + 1
            else
                state = AFTER_IAC -- an unfinished subnegotiation: the byte is read after IAC
            end
        end
    end
    return concat(out, "", 1, count)
end

-- The bytes of a telnet command that an earlier packet began and this one must finish.
local function carried_over()
    if state == AFTER_IAC or state == SB_IAC then
        return "\255"
    elseif state == OPTION then
        return char(IAC, verb)
    end
    return ""
end

-- With colouring off the packets go on untouched, and only whether the last one ended a line
-- is kept: colouring on again leaves the rest of a line already begun as it came.
local passed = false
local line_ended = true -- the last packet ended a line: nothing of the game's is left open

-- ---- Holding an unfinished line ---------------------------------------------------------------
-- What a packet leaves of an unfinished line is held, so that the line is still coloured whole
-- when its rest comes in the next packets. It goes on as it is once no more has come for the
-- proxy's hold; MUSHclient's own timers cannot wait less than 0.1 s, so its ticks (25 a second,
-- whatever the timer settings) let it go, through Simulate, which MUSHclient reads as the game's
-- bytes: they come back through OnPluginPacketReceived, which passes them on untouched.
-- MUSHclient may tick while the rest is already waiting to be read (a slow machine shows the
-- packet it read for longer than the hold): only a whole tick without a packet lets it go.

local HOLD_SECONDS = 0.02
local held_since = nil -- when the held text last grew; nil while nothing is held
local quiet_ticks = 0 -- ticks since the last packet
local releasing = false

-- What earlier packets left unsent, in the game's order: the held text, then the bytes of an
-- unfinished telnet command. The reader starts clean after it.
local function take_unsent()
    local unsent = carried_over()
    if #line > sent then
        unsent = telnet_text(sub(line, sent + 1)) .. unsent
    end
    state, line, sent, verb, held_since = TEXT, "", 0, 0, nil
    return unsent
end

local function show_now(bytes)
    if bytes ~= "" then
        releasing = true
        local ok, failure = pcall(Simulate, bytes)
        releasing = false
        if not ok then
            report(failure)
        end
    end
end

local function release_held()
    local bytes = telnet_text(sub(line, sent + 1))
    sent, held_since = #line, nil
    show_now(bytes)
end

local function rewrite_packet(packet)
    if not enabled then
        if not passed then
            packet = take_unsent() .. packet
        end
        passed, line_ended = true, byte(packet, -1) == LF
        return packet
    end
    if passed then
        state, line, sent, verb = TEXT, "", 0, 0
        over_cap, after_line_feed, passed = not line_ended, line_ended, false
    end
    local line_before, sent_before, carried = line, sent, carried_over()
    local ok, result = pcall(rewrite, packet)
    line_ended = byte(packet, -1) == LF
    if ok then
        held_since = #line > sent and utils.timer() or nil
        return result
    end
    -- The packet goes on as it came, behind what earlier ones left; the rest of its unfinished
    -- line too.
    report(result)
    state, line, sent, over_cap, after_line_feed = TEXT, "", 0, not line_ended, false
    held_since = nil
    return telnet_text(sub(line_before, sent_before + 1)) .. carried .. packet
end

function OnPluginPacketReceived(packet)
    if releasing then
        return packet
    end
    quiet_ticks = 0
    if #unsaid > 0 and line_ended then
        pcall(say_failures)
    end
    return rewrite_packet(packet)
end

function OnPluginTick()
    if held_since then
        quiet_ticks = quiet_ticks + 1
        if quiet_ticks >= 2 and utils.timer() - held_since >= HOLD_SECONDS then
            release_held()
        end
    end
end

-- Nothing held outlives the connection or the plugin's turn: it goes on as it is, before
-- MUSHclient says the world is closed.
function OnPluginDisconnect()
    show_now(take_unsent())
end

-- The packets that pass by meanwhile are not seen: enabled again, it leaves the rest of the
-- line then begun as it comes, as after colouring off.
function OnPluginDisable()
    show_now(take_unsent())
    passed, line_ended = true, false
end

-- ---- The #brawlhue command -------------------------------------------------------------------

-- What follows the command word when the line is the command (the word, letter case ignored,
-- then a blank or the line's end, as the proxy catches it); nil for any other line.
local function command_text(typed)
    if lower(sub(typed, 1, #COMMAND_WORD)) ~= COMMAND_WORD then
        return nil
    end
    local after = sub(typed, #COMMAND_WORD + 1, #COMMAND_WORD + 1)
    if after ~= "" and after ~= " " and after ~= "\t" then
        return nil
    end
    return sub(typed, #COMMAND_WORD + 2)
end

local function answer(text)
    local word, argument = engine.parse_command(text)
    if word == "palette" or word == "tags" then
        local palette_set, tags_set, lines
        appearance, palette_set, tags_set, lines =
            engine.appearance_answer(word, argument, appearance)
        save_appearance(palette_set, tags_set)
        for _, answer_line in ipairs(lines) do
            say(answer_line.text)
        end
        return
    end
    if (word == "on" or word == "off") and enabled ~= (word == "on") then
        enabled = word == "on"
        save_choice(enabled)
    end
    for _, answer_line in ipairs(engine.command_answer(word, enabled)) do
        say(answer_line.text)
    end
end

-- MUSHclient echoes what it sends to the game; the command is echoed the same way.
local function echo(typed)
    if GetOption("display_my_input") ~= 1 then
        return
    end
    local custom = GetOption("echo_colour") -- a custom colour, or 0 for the plain colours
    if custom > 0 then
        ColourNote(RGBColourToName(GetCustomColourText(custom)),
            RGBColourToName(GetCustomColourBackground(custom)), typed)
    else
        say(typed)
    end
end

-- Each typed line that is the command is answered; the others go on to MUSHclient.
local function take_commands(typed)
    if not find(lower(typed), COMMAND_WORD, 1, true) then
        return typed
    end
    local others = {}
    for typed_line in (typed .. "\n"):gmatch("([^\n]*)\n") do
        typed_line = gsub(typed_line, "\r$", "")
        local text = command_text(typed_line)
        if text then
            echo(typed_line)
            answer(text)
        else
            others[#others + 1] = typed_line
        end
    end
    if #others == 0 then
        return "\t" -- nothing left: MUSHclient drops the command before speed walking sees it
    end
    return concat(others, "\r\n")
end

-- Typed in the command window: called before speed walking, aliases and the game.
function OnPluginCommandEntered(typed)
    if #unsaid > 0 then
        pcall(say_failures)
    end
    local ok, result = pcall(take_commands, typed)
    if ok then
        return result
    end
    report(result)
    pcall(say_failures)
    -- Never the command to the game; anything else goes on as typed.
    return find(lower(typed), COMMAND_WORD, 1, true) and "\t" or typed
end

-- Commands that reach the game another way (Execute, command stacking).
function OnPluginCommand(text)
    local ok, command = pcall(command_text, text)
    if not ok or not command then
        return true
    end
    local answered, failure = pcall(answer, command)
    if not answered then
        report(failure)
        pcall(say_failures)
    end
    return false
end

-- ---- Connect and install ---------------------------------------------------------------------

-- A new connection's stream starts clean, whatever the choice's reading meets.
function OnPluginConnect()
    state, line, sent, over_cap, after_line_feed = TEXT, "", 0, false, false
    passed, line_ended, held_since = false, true, nil
    local ok, failure = pcall(function()
        say(engine.banner)
        enabled = load_choice()
        appearance = load_appearance()
    end)
    if not ok then
        report(failure)
    end
end

function OnPluginInstall()
    local ok, failure = pcall(function()
        enabled = load_choice()
        appearance = load_appearance()
    end)
    if not ok then
        report(failure)
    end
end
