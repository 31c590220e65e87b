-- lua5.1 commands.lua ENGINE TABLES FILE: how the Lua engine parses and answers each command
-- text of FILE (one a line) under every appearance, a line each, in the form
-- `brawlhue_lua_test_lines --answers` writes the C++ command's.
local engine_path, tables_path, path = ...
local engine = assert(loadfile(engine_path))(dofile(tables_path))

local function lines_of(answer)
    local shown = {}
    for k, line in ipairs(answer) do
        shown[k] = line.colour .. ":" .. line.text
    end
    return table.concat(shown, "|")
end

local function state(appearance)
    return appearance.palette .. " " .. (appearance.tags and "tags" or "plain")
end

for text in io.lines(path) do
    for _, palette in ipairs(engine.palette_names) do
        for _, tags in ipairs({ false, true }) do
            local current = { palette = palette, tags = tags }
            local word, argument = engine.parse_command(text)
            local after, palette_set, tags_set, answer = current, false, false, nil
            if word == "palette" or word == "tags" then
                after, palette_set, tags_set, answer =
                    engine.appearance_answer(word, argument, current)
            else
                answer = engine.command_answer(word, tags)
            end
            io.write(string.format("%s | %s | %s | %s %s %s | %s\n", state(current),
                word or "-", argument or "", state(after), tostring(palette_set),
                tostring(tags_set), lines_of(answer)))
        end
    end
end
