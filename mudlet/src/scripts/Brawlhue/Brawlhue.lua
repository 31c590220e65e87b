-- Brawlhue in Mudlet: colours the game's combat lines as the profile shows the plug-in's ANSI
-- colours, answers #brawlhue, greets at connect, and keeps the on/off choice per profile.
-- Brawlhue is the package's one global; Brawlhue.engine (the engine script, built from the C++
-- engine's tables) decides every line.
Brawlhue = Brawlhue or {}
local Brawlhue = Brawlhue
local engine = Brawlhue.engine

local STATE_FILE_NAME = "brawlhue-enabled"
-- The plug-in's own texts for the flag.
local TRUE_TEXT, FALSE_TEXT = "True", "False"
-- A stand-in for a colour sequence of the game's, where its formats show one was.
local GAME_SEQUENCE = "\27[31m"

-- A line of the package's own, in the profile's plain colours, as the proxy's lines show.
local function say(text)
    resetFormat()
    echo(text .. "\n")
end

-- ---- The choice, kept in the profile's folder ------------------------------------------------

local function state_path()
    return getMudletHomeDir() .. "/" .. STATE_FILE_NAME
end

local function save_choice(enabled)
    local file, failure = io.open(state_path(), "w")
    if not file then
        say("Brawlhue: the choice cannot be saved: " .. tostring(failure))
        return
    end
    file:write((enabled and TRUE_TEXT or FALSE_TEXT) .. "\n")
    file:close()
end

-- On when never set; a file that holds anything else is said once, and replaced by "on".
local function load_choice()
    local file = io.open(state_path(), "r")
    if not file then
        save_choice(true)
        return true
    end
    local text = file:read("*a") or ""
    file:close()
    local value = text:match("^(%a+)\r?\n?$")
    if value == TRUE_TEXT then
        return true
    elseif value == FALSE_TEXT then
        return false
    end
    say("Brawlhue: the saved choice in " .. state_path() .. " could not be read; colouring is on.")
    save_choice(true)
    return true
end

Brawlhue.enabled = Brawlhue.enabled ~= false

-- ---- Colouring one line ----------------------------------------------------------------------

-- How the profile shows a category's sequence: the SGR codes read from the engine's own
-- sequence, taken through the profile's ANSI palette. Mudlet shows bold with a colour as the
-- bright colour, without the bold flag.
local function palette(index)
    local colour = color_table[string.format("ansi_%03d", index)]
    return colour[1], colour[2], colour[3]
end

local function shown_colours(sequence)
    local foreground, background, bold
    for code in sequence:gmatch("%d+") do
        code = tonumber(code)
        if code >= 30 and code <= 37 then
            foreground = code - 30
        elseif code >= 40 and code <= 47 then
            background = code - 40
        elseif code == 1 then
            bold = true
        end
    end
    return foreground and foreground + (bold and 8 or 0), background
end

-- The look of each character: PLAIN where it is the profile's plain text (its default colours,
-- no attribute), otherwise a text that is equal where the looks are. Mudlet gives no text format
-- for a line's last character; it is taken to have its neighbour's attributes.
local PLAIN = "plain"
local function looks_of_line(length)
    local looks = {}
    local attributes, plain_attributes = "", true
    for column = 0, length - 1 do
        selectSection(column, 1)
        local format = column < length - 1 and getTextFormat()
        if format then
            plain_attributes = not (format.bold or format.italic or format.underline
                or format.reverse or format.strikeout)
            attributes = table.concat({ tostring(format.bold), tostring(format.italic),
                tostring(format.underline), tostring(format.reverse),
                tostring(format.strikeout) }, ",")
        end
        if plain_attributes and isAnsiFgColor(0) and isAnsiBgColor(0) then
            looks[column + 1] = PLAIN
        else
            local fr, fg, fb = getFgColor()
            local br, bg, bb = getBgColor()
            looks[column + 1] = table.concat({ fr, fg, fb, br, bg, bb, attributes }, ",")
        end
    end
    return looks
end

-- Mudlet hands triggers the line without the game's colour sequences. Where its characters show
-- formats of their own, the line is rebuilt with a sequence at each change of format, so that
-- the engine decides as it does on the line as the game sent it. Returns that line and, for each
-- of its bytes, the column of the shown line it stands for.
local function line_as_sent(text, looks)
    local pieces, columns = {}, {}
    local current = PLAIN
    local byte_at = 1
    local column = 0
    local function put(piece, stands_for)
        pieces[#pieces + 1] = piece
        for _ = 1, #piece do
            columns[#columns + 1] = stands_for
        end
    end
    local size = #text
    while byte_at <= size do
        -- One character: its UTF-8 bytes, and its one or two UTF-16 units.
        local bytes, units = engine.character_at(text, byte_at, size)
        local look = looks[column + 1]
        if look ~= current then
            put(look == PLAIN and engine.reset or GAME_SEQUENCE, column)
            current = look
        end
        put(text:sub(byte_at, byte_at + bytes - 1), column)
        column = column + units
        byte_at = byte_at + bytes
    end
    if current ~= PLAIN then
        put(engine.reset, column)
    end
    columns[#columns + 1] = column
    return table.concat(pieces), columns
end

local function colour_section(from, length, row)
    local foreground, background = shown_colours(row.sequence)
    selectSection(from, length)
    if foreground then
        setFgColor(palette(foreground))
    end
    if background then
        setBgColor(palette(background))
    end
    -- The reset in front of the sequence clears every other attribute.
    setBold(false)
    setItalics(false)
    setUnderline(false)
    setStrikeOut(false)
end

local function colour_line()
    local text = line
    local row, prompt_bytes = engine.decide(text)
    if not row then
        return
    end
    local units = engine.unit_length(text)
    local looks = looks_of_line(units)
    local plain = true
    for k = 1, units do
        if looks[k] ~= PLAIN then
            plain = false
            break
        end
    end
    if plain then
        -- The game sent no colour of its own: the line is the one the engine decided.
        local prompt_units = engine.unit_length(text:sub(1, prompt_bytes))
        colour_section(prompt_units, units - prompt_units, row)
        return
    end
    local sent, columns = line_as_sent(text, looks)
    row, prompt_bytes = engine.decide(sent)
    if not row then
        return
    end
    -- The category's colour reaches up to the game's first sequence in the message; from there
    -- on the game's own sequences decide, as they do after the proxy's.
    local from = columns[prompt_bytes + 1]
    local to = from
    while to < units and looks[to + 1] == PLAIN do
        to = to + 1
    end
    if to > from then
        colour_section(from, to - from, row)
    end
end

-- A failure leaves the line as it came, and is said once (each different failure once).
local said_failures = {}
function Brawlhue.colour_current_line()
    if not Brawlhue.enabled then
        return
    end
    local ok, failure = pcall(colour_line)
    -- Whatever happened, nothing stays selected and the next echo is plain text.
    deselect()
    resetFormat()
    if not ok then
        failure = tostring(failure)
        if not said_failures[failure] then
            said_failures[failure] = true
            tempTimer(0, function()
                say("Brawlhue: a line was left as it came: " .. failure)
            end)
        end
    end
end

-- ---- The command -----------------------------------------------------------------------------

function Brawlhue.command(text)
    local word = engine.find_sub_command(text)
    if word == "on" or word == "off" then
        local enabled = word == "on"
        if enabled ~= Brawlhue.enabled then
            Brawlhue.enabled = enabled
            save_choice(enabled)
        end
    end
    for _, answer in ipairs(engine.command_answer(word, Brawlhue.enabled)) do
        say(answer.text)
    end
end

-- ---- Connect, and the package's own life -----------------------------------------------------

local function on_connect()
    say(engine.banner)
    Brawlhue.enabled = load_choice()
end

local function on_uninstall(_, package)
    if package ~= "Brawlhue" then
        return
    end
    for _, handler in ipairs(Brawlhue.handlers or {}) do
        killAnonymousEventHandler(handler)
    end
    Brawlhue = nil
end

-- A reinstalled package replaces its handlers rather than adding a second set.
for _, handler in ipairs(Brawlhue.handlers or {}) do
    killAnonymousEventHandler(handler)
end
Brawlhue.handlers = {
    registerAnonymousEventHandler("sysConnectionEvent", on_connect),
    registerAnonymousEventHandler("sysUninstallPackage", on_uninstall),
}
-- Installed while connected: the choice is read now, as it would have been at connect.
Brawlhue.enabled = load_choice()
