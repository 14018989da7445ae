-- The manual page from doc/conx.1.md and the README: a pandoc filter
-- (cmake/manual.cmake runs it). In conx.1.md a paragraph
--
--     README: HEADING                 is that README section's text, from
--                                     below its heading to the next heading;
--     README: HEADING, as a synopsis  is a line "conx KEYWORD PARAMETERS" for
--                                     each row of that section's table;
--     README, left out: HEADING; ...  names the sections the page does without.
--
-- A README section that is neither taken nor left out stops the build, so
-- that a new one finds its place in the page.
--
-- Then, in all the text:
--   * a table wider than the page becomes tagged paragraphs (a man page's
--     table cell is too narrow for a sentence): the row's first cell is the
--     tag, then its text; in a table of more than two columns the second
--     cell joins the tag (a command's parameters) and the cells after the
--     third follow it after their column's heading ("Result: ...");
--     a table that fits (the key codes) stays;
--   * `examples/NAME` is the shell examples' folder as installed, which the
--     build and the install give as the metadata "examples"
--     (cmake/manual.cmake).

local stringify = pandoc.utils.stringify
local inlines = pandoc.utils.blocks_to_inlines

-- The text width of a page shown in 80 columns, less the cells' gaps.
local PAGE_COLUMNS = 72

local readme, examples
local placed = {}  -- README headings taken or left out

local function readSection(heading)
    placed[heading] = true
    for i, block in ipairs(readme) do
        if block.t == "Header" and stringify(block) == heading then
            local blocks = pandoc.List()
            for j = i + 1, #readme do
                if readme[j].t == "Header" then break end
                blocks:insert(readme[j])
            end
            return blocks
        end
    end
    error("README.md has no section " .. heading)
end

local function firstTable(blocks, heading)
    for _, block in ipairs(blocks) do
        if block.t == "Table" then return pandoc.utils.to_simple_table(block) end
    end
    error("README.md's " .. heading .. " has no table")
end

local function synopsis(heading)
    local lines = pandoc.List()
    for _, row in ipairs(firstTable(readSection(heading), heading).rows) do
        if #lines > 0 then lines:insert(pandoc.LineBreak()) end
        lines:extend({pandoc.Strong("conx"), pandoc.Space(), pandoc.Strong(stringify(row[1]))})
        if stringify(row[2]) ~= "" then
            lines:extend({pandoc.Space(), pandoc.Emph(stringify(row[2]))})
        end
    end
    return pandoc.Para(lines)
end

local readMetadata = {
    Pandoc = function(doc)
        local file = assert(io.open(stringify(doc.meta.readme)))
        readme = pandoc.read(file:read("a"), "gfm").blocks
        file:close()
        examples = stringify(doc.meta.examples)
    end,
}

local function include(para)
    local text = stringify(para)
    local leftOut = text:match("^README, left out: (.+)$")
    if leftOut then
        for heading in leftOut:gmatch("[^;]+") do placed[heading:match("^%s*(.-)%s*$")] = true end
        return {}
    end
    local heading = text:match("^README: (.+), as a synopsis$")
    if heading then return synopsis(heading) end
    heading = text:match("^README: (.+)$")
    if heading then return readSection(heading) end
end

local function everySectionPlaced()
    for _, block in ipairs(readme) do
        if block.t == "Header" and not placed[stringify(block)] then
            error("README.md's section " .. stringify(block) .. " is neither taken nor left out in doc/conx.1.md")
        end
    end
end

local function fits(simple)
    local width = 0
    for column, header in ipairs(simple.headers) do
        local longest = #stringify(header)
        for _, row in ipairs(simple.rows) do longest = math.max(longest, #stringify(row[column])) end
        width = width + longest + 2
    end
    return width <= PAGE_COLUMNS
end

local function taggedParagraphs(tbl)
    local simple = pandoc.utils.to_simple_table(tbl)
    if fits(simple) then return nil end
    local textColumn = #simple.headers > 2 and 3 or 2
    local items = pandoc.List()
    for _, row in ipairs(simple.rows) do
        local tag = inlines(row[1])
        if textColumn == 3 and #row[2] > 0 then tag:extend({pandoc.Space(), pandoc.Emph(inlines(row[2]))}) end
        local paragraphs = pandoc.List()
        for column = textColumn, #row do
            local text = inlines(row[column])
            if #text > 0 then
                if column > textColumn then
                    text = pandoc.List({pandoc.Emph(stringify(simple.headers[column]) .. ":"), pandoc.Space()}) .. text
                end
                paragraphs:insert(pandoc.Para(text))
            end
        end
        items:insert({tag, {paragraphs}})
    end
    return pandoc.DefinitionList(items)
end

local function installedExample(code)
    local name = code.text:match("^examples/(.+)$")
    if name then return pandoc.Code(examples .. "/" .. name) end
end

return {
    readMetadata,
    {Para = include, Pandoc = everySectionPlaced},
    {Table = taggedParagraphs, Code = installedExample},
}
