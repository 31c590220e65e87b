-- Brawlhue in Mudlet: colours the game's combat lines as the profile shows the plug-in's ANSI
-- colours, answers #brawlhue, greets at connect, and keeps the on/off, palette and spoken tags
-- choices per profile.
-- Brawlhue is the package's one global; Brawlhue.engine (the engine script, built from the C++
-- engine's tables) decides every line.
Brawlhue = Brawlhue or {}
local Brawlhue = Brawlhue
local engine = Brawlhue.engine

local STATE_FILE_NAME = "brawlhue-enabled"
local APPEARANCE_FILE_NAMES = { palette = "brawlhue-palette", tags = "brawlhue-tags" }
-- The plug-in's own texts for the flag.
local TRUE_TEXT, FALSE_TEXT = "True", "False"
-- A stand-in for a colour sequence of the game's, where its formats show one was.
local GAME_SEQUENCE = "\27[31m"

-- A line of the package's own, in the profile's plain colours, as the proxy's lines show.
local function say(text)
    resetFormat()
    echo(text .. "\n")
end

-- ---- The choices, kept in the profile's folder -----------------------------------------------

local function state_path(name)
    return getMudletHomeDir() .. "/" .. (name or STATE_FILE_NAME)
end

local function save_text(name, text)
    local file, failure = io.open(state_path(name), "w")
    if not file then
        say("Brawlhue: the choice cannot be saved: " .. tostring(failure))
        return
    end
    file:write(text .. "\n")
    file:close()
end

local function save_choice(enabled)
    save_text(STATE_FILE_NAME, enabled and TRUE_TEXT or FALSE_TEXT)
end

-- The one line a choice's file holds, or nil when there is no file.
local function read_text(name)
    local file = io.open(state_path(name), "r")
    if not file then
        return nil
    end
    local text = file:read("*a") or ""
    file:close()
    return text:match("^([^\r\n]*)\r?\n?$") or text
end

-- On when never set; a file that holds anything else is said once, and replaced by "on".
local function load_choice()
    local value = read_text(STATE_FILE_NAME)
    if value == nil then
        save_choice(true)
        return true
    elseif value == TRUE_TEXT then
        return true
    elseif value == FALSE_TEXT then
        return false
    end
    say("Brawlhue: the saved choice in " .. state_path() .. " could not be read; colouring is on.")
    save_choice(true)
    return true
end

-- The saved palette and tags; the default's where a file is missing or unreadable.
local function load_appearance()
    return engine.saved_appearance(function(choice)
        local name = APPEARANCE_FILE_NAMES[choice]
        return read_text(name), "in " .. state_path(name)
    end, say)
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

-- The sequence's colours (ANSI indexes 0 to 7, nil where it sets none) and whether it is bold.
local function sequence_codes(sequence)
    local foreground, background, bold = nil, nil, false
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
    return foreground, background, bold
end

local function shown_colours(sequence)
    local foreground, background, bold = sequence_codes(sequence)
    return foreground and foreground + (bold and 8 or 0), background
end

-- The ANSI index (0 to 7) of a colour that is one of the profile's eight dark ones, or nil.
local function dark_index(r, g, b)
    for index = 0, 7 do
        local pr, pg, pb = palette(index)
        if r == pr and g == pg and b == pb then
            return index
        end
    end
    return nil
end

-- The look of each character: PLAIN where it is the profile's plain text (its default colours,
-- no attribute), otherwise a text that is equal where the looks are. Mudlet gives no text format
-- for a line's last character; it is taken to have its neighbour's attributes. Also, for each
-- character, whether it shows the bold flag.
local PLAIN = "plain"
local function looks_of_line(length)
    local looks, bolds = {}, {}
    local attributes, plain_attributes, bold = "", true, false
    for column = 0, length - 1 do
        selectSection(column, 1)
        local format = column < length - 1 and getTextFormat()
        if format then
            plain_attributes = not (format.bold or format.italic or format.underline
                or format.reverse or format.strikeout)
            attributes = table.concat({ tostring(format.bold), tostring(format.italic),
                tostring(format.underline), tostring(format.reverse),
                tostring(format.strikeout) }, ",")
            bold = format.bold == true
        end
        bolds[column + 1] = bold
        if plain_attributes and isAnsiFgColor(0) and isAnsiBgColor(0) then
            looks[column + 1] = PLAIN
        else
            local fr, fg, fb = getFgColor()
            local br, bg, bb = getBgColor()
            looks[column + 1] = table.concat({ fr, fg, fb, br, bg, bb, attributes }, ",")
        end
    end
    return looks, bolds
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

-- The section in the look of the palette's sequence. The look is the current format too, so that
-- text inserted next has it.
local function colour_section(from, length, sequence)
    local foreground, background = shown_colours(sequence)
    resetFormat()
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

-- The message from `from` on, `length` units of it, in the look of the row's opening; with tags
-- the tag goes in first, at `from`, as the proxy writes it between the sequence and the message.
local function colour_message(from, length, row)
    local sequence, tag = engine.opening_parts(row, Brawlhue.appearance)
    if tag ~= "" then
        -- The cursor goes back where it was, for the triggers after this one.
        local column, line_number = getColumnNumber(), getLineNumber()
        resetFormat()
        moveCursor(from, line_number)
        insertText(tag)
        moveCursor(column, line_number)
        length = length + engine.unit_length(tag)
    end
    colour_section(from, length, sequence)
end

-- From the game's first sequence in the message to its next plain character, the opening the
-- proxy writes is still in force under the game's sequences: its background and foreground
-- where the game's set none, its bold brightening the game's colours. Mudlet shows the line
-- without the opening, so those characters are given the look they have after the proxy's. (A
-- game's sequence that names the default colours or turns bold off cannot be told from here.)
local function under_opening(to, units, looks, bolds, sequence)
    local foreground, background, bold = sequence_codes(sequence)
    for column = to, units - 1 do
        if looks[column + 1] == PLAIN then
            return
        end
        selectSection(column, 1)
        if background and isAnsiBgColor(0) then
            setBgColor(palette(background))
        end
        if isAnsiFgColor(0) then
            if foreground then
                setFgColor(palette(foreground + ((bold or bolds[column + 1]) and 8 or 0)))
                setBold(false)
            end
        elseif bold then
            local dark = dark_index(getFgColor())
            if dark then
                setFgColor(palette(dark + 8))
            end
        end
    end
end

local function colour_line()
    local text = line
    local row, prompt_bytes = engine.decide(text)
    if not row then
        return
    end
    local units = engine.unit_length(text)
    local looks, bolds = looks_of_line(units)
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
        colour_message(prompt_units, units - prompt_units, row)
        return
    end
    local sent, columns = line_as_sent(text, looks)
    row, prompt_bytes = engine.decide(sent)
    if not row then
        return
    end
    -- The category's colour reaches up to the game's first sequence in the message; from there
    -- on the game's own sequences decide, over the opening, as they do after the proxy's.
    local from = columns[prompt_bytes + 1]
    local to = from
    while to < units and looks[to + 1] == PLAIN do
        to = to + 1
    end
    under_opening(to, units, looks, bolds, (engine.opening_parts(row, Brawlhue.appearance)))
    colour_message(from, to - from, row)
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
    local word, argument = engine.parse_command(text)
    if word == "palette" or word == "tags" then
        local appearance, palette_set, tags_set, answer =
            engine.appearance_answer(word, argument, Brawlhue.appearance)
        Brawlhue.appearance = appearance
        for choice, kept in pairs(engine.kept_choices(appearance, palette_set, tags_set)) do
            save_text(APPEARANCE_FILE_NAMES[choice], kept)
        end
        for _, answer_line in ipairs(answer) do
            say(answer_line.text)
        end
        return
    end
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
    Brawlhue.appearance = load_appearance()
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
-- Installed while connected: the choices are read now, as they would have been at connect.
Brawlhue.enabled = load_choice()
Brawlhue.appearance = load_appearance()
