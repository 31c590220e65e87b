-- The colouring engine for Lua clients (Mudlet, MUSHclient): the prompt stripper, the line
-- classifier and the colour cascade, deciding every line exactly as the C++ engine does.
--
-- Loaded as a chunk whose argument is the tables module that brawlhue_lua_tables writes from
-- the C++ engine's constant arrays; it returns the engine:
--   local engine = loadfile("brawlhue_engine.lua")(dofile("brawlhue_tables.lua"))
--
-- Lines are UTF-8 as the clients hand them; invalid bytes are kept as they are. Lengths and the
-- "?" wildcard count UTF-16 code units, as the plug-in does. The table texts are printable ASCII
-- and no byte of a UTF-8 character but an ASCII one is ASCII, so the engine reads a line's bytes
-- wherever units and bytes cannot decide apart; where they can (a "?" pattern on a line that is
-- not ASCII), it reads the line's "shape": every UTF-16 unit one byte, ASCII as itself and every
-- other unit as byte 0x80, which no table text can tell apart.
local tables = ...

local byte, find, sub, lower = string.byte, string.find, string.sub, string.lower
local concat = table.concat
local floor = math.floor

local M = {
    version = tables.version,
    banner = tables.banner,
    cascade = tables.cascade,
    reset = tables.reset,
}

-- ---- Shape: one byte per UTF-16 unit -----------------------------------------------------------

local OTHER_UNIT = "\128"
local ASTRAL_UNITS = OTHER_UNIT .. OTHER_UNIT

-- The bytes and UTF-16 units of the character at i: a valid sequence (overlongs, encoded
-- surrogates and code points past U+10FFFF are not), or one invalid byte kept as one unit.
local function character_at(line, i, n)
    local lead = byte(line, i)
    if lead < 0x80 then
        return 1, 1
    end
    local length, low, high = 0, 0x80, 0xBF
    if lead >= 0xC2 and lead <= 0xDF then
        length = 2
    elseif lead >= 0xE0 and lead <= 0xEF then
        length = 3
        if lead == 0xE0 then
            low = 0xA0
        elseif lead == 0xED then
            high = 0x9F
        end
    elseif lead >= 0xF0 and lead <= 0xF4 then
        length = 4
        if lead == 0xF0 then
            low = 0x90
        elseif lead == 0xF4 then
            high = 0x8F
        end
    else
        return 1, 1
    end
    if i + length - 1 > n then
        return 1, 1
    end
    local second = byte(line, i + 1)
    if second < low or second > high then
        return 1, 1
    end
    for k = i + 2, i + length - 1 do
        local continuation = byte(line, k)
        if continuation < 0x80 or continuation > 0xBF then
            return 1, 1
        end
    end
    return length, length == 4 and 2 or 1
end

-- The line's shape; an ASCII line is its own.
local function shape_of(line)
    local first = find(line, "[\128-\255]")
    if not first then
        return line
    end
    local pieces, count = {}, 0
    local n, i = #line, 1
    while first do
        if first > i then
            count = count + 1
            pieces[count] = sub(line, i, first - 1)
        end
        local bytes, units = character_at(line, first, n)
        count = count + 1
        pieces[count] = units == 2 and ASTRAL_UNITS or OTHER_UNIT
        i = first + bytes
        first = find(line, "[\128-\255]", i)
    end
    count = count + 1
    pieces[count] = sub(line, i)
    return concat(pieces)
end

-- How many bytes of the line its first `units` UTF-16 units take.
local function bytes_of_units(line, units)
    local n, i, seen = #line, 1, 0
    while seen < units and i <= n do
        local bytes, taken = character_at(line, i, n)
        i = i + bytes
        seen = seen + taken
    end
    return i - 1
end

M.character_at = character_at
M.shape_of = shape_of
M.bytes_of_units = bytes_of_units

-- The number of UTF-16 units of a UTF-8 text.
function M.unit_length(text)
    return #shape_of(text)
end

-- ---- The number test of the "I" prompt ------------------------------------------------------
-- The text must come back unchanged from being read as a number (optional sign, digits,
-- optional point and digits, optional exponent; reading stops where the number cannot go on;
-- nothing readable is 0) and written in the general decimal form (at most 15 significant
-- digits, "-" only for a negative value, no "+", no leading zeros, exponent form below 0.00001
-- and from 1E+15 on). Digit by digit, so no floating point rounding can differ from the C++.

local SIGNIFICANT_DIGITS = 15
local KEPT_DIGITS = SIGNIFICANT_DIGITS + 1 -- one more than written, for rounding
local LARGEST_EXPONENT = 308
local SMALLEST_EXPONENT = -324
local LONGEST_FORM = 24
local EXPONENT_CAP = 100000

local DIGIT_0, DIGIT_9 = byte("0"), byte("9")
local PLUS, MINUS, POINT = byte("+"), byte("-"), byte(".")
local UPPER_E, LOWER_E = byte("E"), byte("e")

local function is_digit(c)
    return c ~= nil and c >= DIGIT_0 and c <= DIGIT_9
end

-- Sign, significant digits without leading zeros, and the decimal exponent of the first.
local function read_leading_number(text)
    local n = #text
    local digits, count, exponent, negative = {}, 0, 0, false
    local i = 1
    local c = byte(text, i)
    if c == PLUS or c == MINUS then
        negative = c == MINUS
        i = i + 1
    end
    local integer_begin = i
    while is_digit(byte(text, i)) do
        i = i + 1
    end
    local integer_end = i
    local fraction_begin, fraction_end = i, i
    if i + 1 <= n and byte(text, i) == POINT and is_digit(byte(text, i + 1)) then
        i = i + 1
        fraction_begin = i
        while is_digit(byte(text, i)) do
            i = i + 1
        end
        fraction_end = i
    end
    if integer_begin == integer_end and fraction_begin == fraction_end then
        return {}, 0, 0, false
    end
    local position = integer_end - integer_begin - 1
    local function add(k)
        local digit = byte(text, k) - DIGIT_0
        if count == 0 then
            if digit == 0 then
                position = position - 1
                return -- a leading zero only moves the point
            end
            exponent = position
        end
        if count < KEPT_DIGITS then
            count = count + 1
            digits[count] = digit
        end
        position = position - 1
    end
    for k = integer_begin, integer_end - 1 do
        add(k)
    end
    for k = fraction_begin, fraction_end - 1 do
        add(k)
    end
    c = byte(text, i)
    if c == UPPER_E or c == LOWER_E then
        local j = i + 1
        local exponent_negative = false
        c = byte(text, j)
        if c == PLUS or c == MINUS then
            exponent_negative = c == MINUS
            j = j + 1
        end
        if is_digit(byte(text, j)) then
            local shift = 0
            while is_digit(byte(text, j)) do
                if shift < EXPONENT_CAP then
                    shift = shift * 10 + (byte(text, j) - DIGIT_0)
                end
                j = j + 1
            end
            exponent = exponent + (exponent_negative and -shift or shift)
        end
    end
    return digits, count, exponent, negative
end

-- Rounded to 15 significant digits, half away from zero, trailing zeros dropped.
local function round_to_significant(digits, count, exponent)
    if count > SIGNIFICANT_DIGITS then
        local round_up = digits[SIGNIFICANT_DIGITS + 1] >= 5
        count = SIGNIFICANT_DIGITS
        if round_up then
            local k = SIGNIFICANT_DIGITS
            while k >= 1 and digits[k] == 9 do
                digits[k] = 0
                k = k - 1
            end
            if k >= 1 then
                digits[k] = digits[k] + 1
            else -- 999... became 1000...
                digits[1] = 1
                count = 1
                exponent = exponent + 1
            end
        end
    end
    while count > 1 and digits[count] == 0 do
        count = count - 1
    end
    return count, exponent
end

local function general_form(digits, count, exponent, negative)
    if count == 0 then
        return "0" -- zero has no sign
    end
    local out = {}
    if negative then
        out[#out + 1] = "-"
    end
    local e = exponent
    if e < -5 or e >= SIGNIFICANT_DIGITS then
        out[#out + 1] = digits[1]
        if count > 1 then
            out[#out + 1] = "."
            for k = 2, count do
                out[#out + 1] = digits[k]
            end
        end
        out[#out + 1] = e < 0 and "E-" or "E+"
        local magnitude = e < 0 and -e or e
        if magnitude >= 100 then
            out[#out + 1] = floor(magnitude / 100)
        end
        out[#out + 1] = floor(magnitude / 10) % 10
        out[#out + 1] = magnitude % 10
    elseif e < 0 then
        out[#out + 1] = "0."
        for _ = -1, e + 1, -1 do
            out[#out + 1] = "0"
        end
        for k = 1, count do
            out[#out + 1] = digits[k]
        end
    else
        for k = 0, e do
            out[#out + 1] = k < count and digits[k + 1] or 0
        end
        if count > e + 1 then
            out[#out + 1] = "."
            for k = e + 2, count do
                out[#out + 1] = digits[k]
            end
        end
    end
    return concat(out)
end

local function is_general_number_form(text)
    if #text == 0 or #text > LONGEST_FORM then
        return false -- every general form is short
    end
    local digits, count, exponent, negative = read_leading_number(text)
    count, exponent = round_to_significant(digits, count, exponent)
    if count > 0 and (exponent > LARGEST_EXPONENT or exponent < SMALLEST_EXPONENT) then
        return false
    end
    return general_form(digits, count, exponent, negative) == text
end

M.is_general_number_form = is_general_number_form

-- ---- Prompts ----------------------------------------------------------------------------------

local prompt_forms = tables.prompt
local PAGER = prompt_forms.pager
local TERMINATOR = prompt_forms.terminator
local NUMBERED_OPENING = byte(prompt_forms.numbered_opening)
local NUMBER_END = prompt_forms.number_end

-- Openings and bare prompts by their first byte, so that most lines are let go after one
-- look-up; each compared by an anchored search, which makes no new string.
local function anchored(text)
    return "^" .. text:gsub("[%^%$%(%)%%%.%[%]%*%+%-%?]", "%%%0")
end

local openings_by_first, bare_by_first, may_begin = {}, {}, {}
local function index_by_first(list, text)
    local first = byte(text)
    list[first] = list[first] or {}
    table.insert(list[first], { pattern = anchored(text), length = #text })
    may_begin[first] = true
end
for _, opening in ipairs(prompt_forms.openings) do
    index_by_first(openings_by_first, opening)
end
for _, bare in ipairs(prompt_forms.bare) do
    index_by_first(bare_by_first, bare)
end
may_begin[NUMBERED_OPENING] = true
local PAGER_PATTERN = anchored(PAGER)

local function has_numbered_opening(s, at)
    local blank = find(s, NUMBER_END, at, true)
    if not blank or blank == at then
        return false
    end
    return is_general_number_form(sub(s, at + 1, blank - 1))
end

-- How many bytes from `at` on form one prompt; 0 when none begins there.
local function prompt_length(s, at)
    local first = byte(s, at)
    if not first or not may_begin[first] then
        return 0
    end
    local starts = false
    local openings = openings_by_first[first]
    if openings then
        for k = 1, #openings do
            if find(s, openings[k].pattern, at) then
                starts = true
                break
            end
        end
    end
    if not starts and first == NUMBERED_OPENING then
        starts = has_numbered_opening(s, at)
    end
    if starts then
        if find(s, PAGER_PATTERN, at + 1) then
            return 1 + #PAGER
        end
        local terminator = find(s, TERMINATOR, at, true)
        if not terminator then
            return 0
        end
        return terminator - at + #TERMINATOR
    end
    local bare = bare_by_first[first]
    if bare then
        for k = 1, #bare do
            if find(s, bare[k].pattern, at) then
                return bare[k].length
            end
        end
    end
    return 0
end

-- How many leading bytes of the line are prompts: the message is what follows them. Every
-- prompt form is ASCII, and so is every byte the number test accepts, so bytes decide as units.
local function prompt_units(s)
    local at = 1
    local length = prompt_length(s, at)
    while length ~= 0 do
        at = at + length
        length = prompt_length(s, at)
    end
    return at - 1
end

M.prompt_units = prompt_units

-- ---- Whole-line wildcard patterns -------------------------------------------------------------
-- "*" any run, "?" one unit, "#" one digit. A pattern is its segments between stars; a line fits
-- when the first segment begins it, the last ends it, and the middle ones follow each other in
-- between. Taking each middle segment at its leftmost place is never wrong (each has a fixed
-- width), so one pass decides, whatever the line.
--
-- Every text of the tables is ASCII, and in UTF-8 no byte of another character is ASCII, so a
-- pattern without "?" fits the line's bytes exactly when it fits its units. Only a pattern with
-- "?" is matched against the shape, and only when the line is not ASCII.

local MAGIC = "[%^%$%(%)%%%.%[%]%+%-]"

local function lua_pattern_of(segment)
    local escaped = segment:gsub(MAGIC, "%%%0")
    return (escaped:gsub("%?", "."):gsub("#", "%%d"))
end

-- The part of a text that a search looks for. The search (memchr on its first byte, then a
-- compare) stops at every place the first byte stands, so a text is looked for from its first
-- byte that is not among the most frequent ones of game text, as long as four bytes are left.
local FREQUENT_FIRST = "[ etaoinshr]"
local SHORTEST_SEARCHED = 4
local function searched_part(text)
    local from = 1
    while #text - from + 1 > SHORTEST_SEARCHED and find(sub(text, from, from), FREQUENT_FIRST) do
        from = from + 1
    end
    return sub(text, from)
end

local function compile_pattern(text)
    if find(text, "[", 1, true) then
        error("brawlhue: the Lua engine has no list wildcard, in: " .. text)
    end
    local entry = { source = text, segments = {}, min_length = 0, units = find(text, "?", 1, true) }
    local start = 1
    while true do
        local star = find(text, "*", start, true)
        local segment = sub(text, start, (star or #text + 1) - 1)
        local plain = not find(segment, "[?#]")
        entry.segments[#entry.segments + 1] = {
            length = #segment,
            text = plain and segment or lua_pattern_of(segment),
            plain = plain,
            anchored = "^" .. lua_pattern_of(segment),
        }
        entry.min_length = entry.min_length + #segment
        if not star then
            break
        end
        start = star + 1
    end
    local segments = entry.segments
    entry.count = #segments
    if entry.count == 1 then
        entry.whole = "^" .. lua_pattern_of(text) .. "$"
    end
    -- Cheap refusals before the match: the first and last units where they are fixed, and the
    -- longest run of plain text, which any fitting line holds somewhere.
    local first, last = sub(text, 1, 1), sub(text, -1)
    if not find(first, "[%*%?#]") then
        entry.first = byte(first)
    end
    if not find(last, "[%*%?#]") then
        entry.last = byte(last)
    end
    for run in text:gmatch("[^%*%?#]+") do
        if not entry.key or #run > #entry.key then
            entry.key = run
        end
    end
    entry.key = entry.key and searched_part(entry.key)
    return entry
end

local function fits(s, n, entry)
    local segments = entry.segments
    local count = entry.count
    if count == 1 then -- no star: the pattern is the whole line
        return n == segments[1].length and find(s, entry.whole) ~= nil
    end
    local at = 1
    local first = segments[1]
    if first.length > 0 then
        if not find(s, first.anchored) then
            return false
        end
        at = first.length + 1
    end
    local last = segments[count]
    local tail = n - last.length + 1
    if tail < at then
        return false
    end
    if last.length > 0 and not find(s, last.anchored, tail) then
        return false
    end
    for k = 2, count - 1 do
        local segment = segments[k]
        if segment.length > 0 then
            local _, finish = find(s, segment.text, at, segment.plain)
            if not finish or finish >= tail then
                return false
            end
            at = finish + 1
        end
    end
    return true
end

M.matches_pattern = function(line, pattern)
    local s = shape_of(line)
    return fits(s, #s, compile_pattern(pattern))
end

-- ---- The tests and the cascade ----------------------------------------------------------------
-- Speech is row 0, the cascade's tests rows 1 to 13: the answer is the lowest row with an entry
-- that fits (and, for a gated test, the gate holding too). The pattern entries are kept in
-- groups, one per row, found by what a line must have for any of them to fit: its first byte,
-- else its last byte; only the groups that fix neither are tried on every line. A group of
-- several entries also has the longest text all of them hold (past what the group's look-up
-- already fixed), so that one search turns the whole group away from most lines.

local tests_by_name = {}
for _, test in ipairs(tables.tests) do
    tests_by_name[test.name] = test
end
local CASCADE = tables.cascade
local ROWS = { [0] = tests_by_name[tables.speech] }
for row, colours in ipairs(CASCADE) do
    ROWS[row] = assert(tests_by_name[colours.test], colours.test)
end

-- The longest text of two units or more that every entry holds in a run of plain text.
local function common_text(entries, skip_first_segment)
    if #entries < 2 then
        return nil
    end
    local runs = {}
    for k, entry in ipairs(entries) do
        local source = entry.source
        if skip_first_segment then
            source = sub(source, entry.segments[1].length + 1)
        end
        runs[k] = source:gsub("[%*%?#]", "\0")
    end
    local best
    local head = runs[1]
    for i = 1, #head do
        for j = i + 1, #head do
            local candidate = sub(head, i, j)
            if find(candidate, "\0", 1, true) then
                break
            end
            if not best or #candidate > #best then
                local everywhere = true
                for k = 2, #runs do
                    if not find(runs[k], candidate, 1, true) then
                        everywhere = false
                        break
                    end
                end
                if everywhere then
                    best = candidate
                end
            end
        end
    end
    return best
end

local function add_to_group(list, key, row, gated, entry)
    local groups = list[key] or {}
    list[key] = groups
    local group = groups[#groups]
    if not group or group.row ~= row then
        group = { row = row, gated = gated, entries = {} }
        groups[#groups + 1] = group
    end
    group.entries[#group.entries + 1] = entry
end

-- The places a pattern entry can be looked up by: the bytes a line must begin and end with for
-- it to fit, where the entry fixes them (the last two where it can, else the last one).
local function place_of(entry)
    local segments = entry.segments
    local last = segments[#segments]
    local ending, ending_kind
    if #segments > 1 and last.plain and last.length >= 2 then
        ending, ending_kind = byte(last.text, -2) * 256 + byte(last.text, -1), "two"
    elseif entry.last then
        ending, ending_kind = entry.last, "one"
    end
    if entry.first and ending then
        return (ending_kind == "two" and "first_two" or "first_one"), entry.first * 65536 + ending
    elseif entry.first then
        return "first", entry.first
    elseif ending then
        return ending_kind, ending
    end
    return "floating", 0
end

-- Exact texts by text (the lowest row holding each), and the pattern groups by place.
local function compile_groups()
    local exact_row = {}
    local places = { first_two = {}, first_one = {}, first = {}, two = {}, one = {}, floating = {} }
    for row = 0, #ROWS do
        local test = ROWS[row]
        for _, item in ipairs(test.entries) do
            if item.exact then
                exact_row[item.exact] = exact_row[item.exact] or row
            else
                local entry = compile_pattern(item.pattern)
                local place, key = place_of(entry)
                add_to_group(places[place], key, row, test.gated, entry)
            end
        end
    end
    for place, list in pairs(places) do
        for _, groups in pairs(list) do
            for _, group in ipairs(groups) do
                local common = common_text(group.entries, sub(place, 1, 5) == "first")
                group.common = common and searched_part(common)
                -- The loop over a group reads these arrays, not each entry's table.
                group.keys, group.min_lengths = {}, {}
                for k, entry in ipairs(group.entries) do
                    group.keys[k] = assert(entry.key, "a pattern of wildcards alone")
                    group.min_lengths[k] = entry.min_length
                end
            end
        end
    end
    return exact_row, places
end

local EXACT_ROW, PLACES = compile_groups()
local BY_FIRST_TWO, BY_FIRST_ONE, BY_FIRST = PLACES.first_two, PLACES.first_one, PLACES.first
local BY_TWO, BY_ONE, FLOATING = PLACES.two, PLACES.one, PLACES.floating[0]

local GATE_ENTRIES = {}
for _, item in ipairs(tests_by_name[tables.gate].entries) do
    GATE_ENTRIES[#GATE_ENTRIES + 1] = item.exact and { exact = item.exact }
        or compile_pattern(item.pattern)
end

-- One message: its bytes, and its shape once a "?" pattern needs it.
local message_shape

local function entry_fits(entry, s, n)
    if entry.units then
        if message_shape == nil then
            message_shape = shape_of(s)
        end
        if message_shape ~= s then
            return fits(message_shape, #message_shape, entry)
        end
    end
    return fits(s, n, entry)
end

local function gate_holds(s, n)
    for k = 1, #GATE_ENTRIES do
        local entry = GATE_ENTRIES[k]
        if entry.exact then
            if entry.exact == s then
                return true
            end
        elseif (not entry.key or find(s, entry.key, 1, true)) and entry_fits(entry, s, n) then
            return true
        end
    end
    return false
end

-- The lowest row below `below` that a group of the list gives the message, or `below`.
local gate
local function lowest_row(groups, s, n, below)
    for g = 1, #groups do
        local group = groups[g]
        local row = group.row
        if row >= below then
            return below
        end
        local common = group.common
        if not common or find(s, common, 1, true) then
            local keys, min_lengths = group.keys, group.min_lengths
            for k = 1, #keys do
                if n >= min_lengths[k] and find(s, keys[k], 1, true)
                    and entry_fits(group.entries[k], s, n) then
                    if group.gated then
                        if gate == nil then
                            gate = gate_holds(s, n)
                        end
                        if not gate then
                            break -- the gate refuses every entry of this row
                        end
                    end
                    return row
                end
            end
        end
    end
    return below
end

local NONE = #CASCADE + 1

-- What the cascade makes of a message: 0 for speech, the deciding row, or nil.
local function classify_bytes(s)
    local n = #s
    message_shape, gate = nil, nil
    local row = EXACT_ROW[s] or NONE
    if row > 0 and n > 0 then
        local first = byte(s, 1)
        local before_last, last = byte(s, n - 1, n)
        if n == 1 then
            before_last, last = 0, first
        end
        local two = before_last * 256 + last
        -- Written out rather than looped over a list of look-ups: a table made for every line,
        -- or a call for every absent bucket, would cost more than the search itself.
        local groups = BY_FIRST_TWO[first * 65536 + two]
        if groups then
            row = lowest_row(groups, s, n, row)
        end
        groups = BY_FIRST_ONE[first * 65536 + last]
        if groups then
            row = lowest_row(groups, s, n, row)
        end
        groups = BY_FIRST[first]
        if groups then
            row = lowest_row(groups, s, n, row)
        end
        groups = BY_TWO[two]
        if groups then
            row = lowest_row(groups, s, n, row)
        end
        groups = BY_ONE[last]
        if groups then
            row = lowest_row(groups, s, n, row)
        end
    end
    row = lowest_row(FLOATING, s, n, row)
    message_shape, gate = nil, nil
    if row == NONE then
        return nil
    end
    return row
end

-- ---- Lines ------------------------------------------------------------------------------------

-- How the engine reads a received line: the deciding cascade row (nil for speech and for lines
-- no test names), how many bytes its prompts take, and whether it is speech.
function M.decide(line)
    local prompt_bytes = prompt_units(line)
    local found = classify_bytes(prompt_bytes == 0 and line or sub(line, prompt_bytes + 1))
    if found == 0 then
        return nil, prompt_bytes, true
    end
    return found and CASCADE[found] or nil, prompt_bytes, false
end

-- The test that decides a message (prompts already removed), "speech", or nil.
function M.classify(message)
    local found = classify_bytes(message)
    if found == 0 then
        return "speech"
    end
    return found and CASCADE[found].test or nil
end

-- ---- Palettes and spoken tags ----------------------------------------------------------------
-- An appearance is { palette = NAME, tags = BOOLEAN }, the palette by its listed name.

local PALETTES = {}
M.palette_names = {}
for index, palette in ipairs(tables.palettes) do
    M.palette_names[index] = palette.name
    PALETTES[palette.name] = { index = index, sequences = palette.sequences }
end
-- A new table each time: the clients keep and change theirs.
function M.default_appearance()
    return { palette = M.palette_names[1], tags = false }
end

-- The listed name of the palette so called, letter case ignored (ASCII letters alone: the names
-- are ASCII); nil for none. Blanks count.
function M.find_palette(name)
    local lowered = name:gsub("[A-Z]", lower)
    return PALETTES[lowered] and lowered or nil
end

-- A client keeps the tags as the plug-in keeps its flag.
local TAGS_TEXTS = { [true] = "True", [false] = "False" }

-- The palette and the tags as a client keeps them: read(choice) gives, for "palette" and "tags",
-- the text kept (nil when never saved) and where it is kept, in words for the player. The palette
-- is a name in any letter case, the tags "True" or "False". A text that is neither counts as the
-- default and is told (tell(notice)) once for as long as the engine runs: a client writes a
-- choice only when a command sets it, so such a text stays until then.
local said_notices = {}
function M.saved_appearance(read, tell)
    local appearance = M.default_appearance()
    local function unreadable(text, where, meaning)
        local notice = "Brawlhue: the saved choice " .. where .. " could not be read; " .. meaning
            .. "."
        if not said_notices[notice .. "\0" .. text] then
            said_notices[notice .. "\0" .. text] = true
            tell(notice)
        end
    end
    local palette, where = read("palette")
    local found = palette and M.find_palette(palette)
    if found then
        appearance.palette = found
    elseif palette then
        unreadable(palette, where, "the palette is " .. appearance.palette)
    end
    local tags
    tags, where = read("tags")
    if tags == TAGS_TEXTS[true] or tags == TAGS_TEXTS[false] then
        appearance.tags = tags == TAGS_TEXTS[true]
    elseif tags then
        unreadable(tags, where, "spoken tags are " .. (appearance.tags and "on" or "off"))
    end
    return appearance
end

-- The texts a client keeps after a palette or tags command, by choice ("palette", "tags"): only
-- what the command set, as saved_appearance reads it back.
function M.kept_choices(appearance, palette_set, tags_set)
    return { palette = palette_set and appearance.palette or nil,
        tags = tags_set and TAGS_TEXTS[appearance.tags] or nil }
end

-- What goes in front of a message of the row: the palette's sequence for the row's outcome, and
-- with tags the outcome's word and its separator ("" without).
function M.opening_parts(row, appearance)
    local palette = assert(PALETTES[appearance.palette], "no such palette")
    local tag = appearance.tags
        and tables.spoken_tags[row.outcome] .. tables.spoken_tag_separator or ""
    return palette.sequences[row.outcome], tag
end

-- The two joined, once here by palette, tags (true or false) and outcome, since every coloured
-- line takes one.
local OPENINGS = {}
for name, palette in pairs(PALETTES) do
    local plain, tagged = {}, {}
    for outcome, sequence in pairs(palette.sequences) do
        plain[outcome] = sequence
        tagged[outcome] = sequence .. tables.spoken_tags[outcome] .. tables.spoken_tag_separator
    end
    OPENINGS[name] = { [false] = plain, [true] = tagged }
end

function M.opening(row, appearance)
    local by_tags = assert(OPENINGS[appearance.palette], "no such palette")
    return by_tags[appearance.tags == true][row.outcome]
end

-- The line as the plug-in rebuilds it (the reset, the prompts, the opening, the message, the
-- reset), or nil when it stays exactly as received. Colouring is off only when enabled is false;
-- without an appearance the default one colours.
function M.filter(line, enabled, appearance)
    if enabled == false then
        return nil
    end
    local row, prompt_bytes = M.decide(line)
    if not row then
        return nil
    end
    local opening = appearance and M.opening(row, appearance) or row.sequence
    return M.reset .. sub(line, 1, prompt_bytes) .. opening .. sub(line, prompt_bytes + 1)
        .. M.reset
end

-- What decided the line: its test's name, "speech", or "-".
function M.explain(line)
    local row, _, speech = M.decide(line)
    if row then
        return row.test
    end
    return speech and "speech" or "-"
end

-- ---- The #brawlhue command --------------------------------------------------------------------

local command = tables.command

-- The first of the sub-command words anywhere in the text, letter case ignored (ASCII letters
-- alone: the words are ASCII); nil for none.
function M.find_sub_command(text)
    local lowered = text:gsub("[A-Z]", lower)
    for _, word in ipairs(command.words) do
        if find(lowered, word, 1, true) then
            return word
        end
    end
    return nil
end

-- A command text's sub-command and, for palette and tags, what follows its word (blanks at
-- either end removed). The text is what follows the command word, or the whole line with it in
-- front. Palette and tags count only as the first word; any other text is searched as
-- find_sub_command searches it.
local function first_word(text)
    local word, rest = text:match("^[ \t]*([^ \t]*)(.*)$")
    return (word:gsub("[A-Z]", lower)), rest:match("^[ \t]*(.-)[ \t]*$")
end

function M.parse_command(text)
    local word, rest = first_word(text)
    if word == command.command_word then
        word, rest = first_word(rest)
    end
    if word == command.palette_word or word == command.tags_word then
        return word, rest
    end
    return M.find_sub_command(text), nil
end

-- What a palette or tags command leaves and says: the appearance after it, whether the player
-- named a palette, whether the tags were switched (each a choice to keep), and the answer's lines
-- ({ text, colour } each).
function M.appearance_answer(word, argument, appearance)
    local answers = command.answers
    local after = { palette = appearance.palette, tags = appearance.tags }
    if word == command.palette_word then
        if argument == "" then
            return after, false, false, answers.palette_list[PALETTES[appearance.palette].index]
        end
        local found = M.find_palette(argument)
        if not found then
            return after, false, false, answers.unknown_palette
        end
        after.palette = found
        return after, true, false, answers.palette_set[PALETTES[found].index]
    end
    local switch = argument:gsub("[A-Z]", lower)
    if switch == "on" or switch == "off" then
        after.tags = switch == "on"
        return after, false, true, after.tags and answers.tags_on or answers.tags_off
    end
    return after, false, false, appearance.tags and answers.tags_are_on or answers.tags_are_off
end

-- The lines answering the sub-command ({ text, colour } each, the closing empty line included),
-- for the colouring flag as it is after the command.
function M.command_answer(word, on)
    local answers = command.answers
    if word == "help" then
        return answers.help
    elseif word == "status" then
        return on and answers.enabled or answers.disabled
    elseif word == "on" or word == "off" then
        return answers[word]
    end
    return answers.unknown
end

return M
