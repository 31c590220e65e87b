-- lua5.1 transcript.lua ENGINE TABLES filter|explain FILE [PALETTE [tags]]: the brawlhue
-- command's two outputs, made by the Lua engine, for comparison with the command's own; with a
-- palette (any letter case) and tags as `brawlhue --palette PALETTE [--tags]` makes them. Lines
-- end at LF; a CR before the LF belongs to the ending, which a line keeps.
local engine_path, tables_path, mode, path, palette, tags = ...
local engine = assert(loadfile(engine_path))(dofile(tables_path))
local appearance = palette
    and { palette = assert(engine.find_palette(palette), palette), tags = tags == "tags" }

local file = assert(io.open(path, "rb"))
local data = file:read("*a")
file:close()

local find, sub, byte = string.find, string.sub, string.byte
local out, count = {}, 0
local at, size = 1, #data
while at <= size do
    local newline = find(data, "\n", at, true)
    local body, ending
    if newline then
        body, ending = sub(data, at, newline - 1), "\n"
        if byte(body, -1) == 13 then
            body, ending = sub(body, 1, -2), "\r\n"
        end
        at = newline + 1
    else
        body, ending = sub(data, at), ""
        at = size + 1
    end
    count = count + 1
    if mode == "explain" then
        out[count] = engine.explain(body) .. "\n"
    else
        out[count] = (engine.filter(body, true, appearance) or body) .. ending
    end
end
io.write(table.concat(out))
