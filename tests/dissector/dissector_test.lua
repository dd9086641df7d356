-- The dissector's framing and check code under a plain Lua interpreter (5.1, 5.2 and 5.4 in CI), against a stub
-- of Wireshark's API: each case is a run of datagrams read in one pass and in two, which must show the same.
--
--     lua5.4 dissector_test.lua DISSECTOR.lua
local here = arg[0]:match("^(.*)[/\\]") or "."
package.path = here .. "/?.lua;" .. package.path
local stub = require("wireshark_stub")
dofile(assert(arg[1], "usage: dissector_test.lua DISSECTOR.lua"))
local logger = stub.protocols.logger

local ESC, ENQ = "\27", "\5"
local TOOL, LOGGER = "192.0.2.1", "192.0.2.30"
-- A datagram to the logger's update port (`captured`: the bytes the capture kept), to the tool's, or a search
-- answer to the tool's search port.
local function to_logger(bytes, captured)
    return { src = TOOL, dst = LOGGER, port = 8000, bytes = bytes, captured = captured }
end
local function to_tool(bytes) return { src = LOGGER, dst = TOOL, port = 8000, bytes = bytes } end
local function answer(bytes) return { src = LOGGER, dst = TOOL, port = 23, bytes = bytes } end
local GOOD, BAD = { 1 }, { 0 }
local LONG = "UD0010" .. string.rep("0123456789ABCDEF", 38) -- 614 characters: eight a step and a rest

-- Each case: datagrams, and per packet the values expected of some fields (a field absent from the
-- expectation is not looked at; {} means the field must not be there); `on` gives the bytes a field must
-- stand on; `experts` the expert items (but the notes on split frames); `info` the column; `second` what
-- only the second pass links.
local cases = {
    { name = "check codes",
      datagrams = { to_logger(ESC .. "FFFF" .. ENQ), to_logger(ESC .. "123456789374B" .. ENQ),
                    to_logger(ESC .. "ENB314" .. ENQ), to_logger(ESC .. "UD0000E70A" .. ENQ),
                    to_logger(ESC .. LONG .. "3DEB" .. ENQ), to_logger(ESC .. "ENb314" .. ENQ),
                    to_logger(ESC .. "EMB314" .. ENQ), to_logger(ESC .. "ABC" .. ENQ) },
      expect = {
          { ["logger.checksum.calculated"] = { "FFFF" }, ["logger.checksum.status"] = GOOD,
            experts = { "logger.unknown" } },
          { ["logger.checksum.calculated"] = { "374B" }, ["logger.checksum.status"] = GOOD },
          { ["logger.kind"] = { "EN" }, ["logger.checksum.status"] = GOOD, on = { ["logger.checksum"] = { "B314" } } },
          { ["logger.block"] = { 0 }, ["logger.data_length"] = { 0 }, ["logger.checksum.calculated"] = { "E70A" },
            ["logger.checksum.status"] = GOOD },
          { ["logger.block"] = { 16 }, ["logger.data_length"] = { 608 }, ["logger.checksum.status"] = GOOD },
          { ["logger.checksum"] = { "b314" }, ["logger.checksum.status"] = BAD, experts = { "logger.checksum.bad" } },
          { ["logger.checksum.status"] = BAD, experts = { "logger.unknown", "logger.checksum.bad" } },
          { ["logger.checksum"] = {}, ["logger.checksum.status"] = BAD,
            experts = { "logger.unknown", "logger.checksum.bad" } },
      } },
    { name = "payloads, each field on its bytes",
      datagrams = { to_logger(ESC .. "LUS2.0000360505" .. ENQ), to_tool(ESC .. "R000086D7" .. ENQ),
                    to_tool(ESC .. "R000200030009DFD9" .. ENQ .. ESC .. "R3EBD" .. ENQ),
                    to_tool(ESC .. "E81B201" .. ENQ), to_tool(ESC .. "XYZ4A78" .. ENQ) },
      expect = {
          { ["logger.kind"] = { "LU" }, ["logger.version"] = { "S2.00" }, ["logger.block_count"] = { 0x36 },
            on = { ["logger.version"] = { "S2.00" }, ["logger.block_count"] = { "0036" },
                   ["logger.kind"] = { "LU" } } },
          { ["logger.start_block"] = { 0 }, on = { ["logger.start_block"] = { "0000" } } },
          { ["logger.kind"] = { "R", "R" }, ["logger.resend_block"] = { 3, 9 }, ["logger.complete"] = { true },
            on = { ["logger.resend_block"] = { "0003", "0009" }, ["logger.resend_count"] = { "0002" } } },
          { ["logger.refusal"] = { "Same Version" }, experts = { "logger.refused" },
            on = { ["logger.kind"] = { "E81" } } },
          { ["logger.kind"] = { "unknown" }, ["logger.checksum.status"] = GOOD, experts = { "logger.unknown" } },
      } },
    { name = "a frame over three datagrams, the first cut at a zero byte",
      datagrams = { to_logger(ESC .. "E\0junk"), to_logger("N"), to_logger("B314" .. ENQ .. ESC .. "EN") },
      expect = {
          { info = "frame continues in a later datagram", on = { ["logger.split"] = { ESC .. "E" } } },
          { ["logger.split"] = { "middle: continues in a later datagram" } },
          { ["logger.kind"] = { "EN" }, ["logger.checksum.status"] = GOOD, ["logger.fragment"] = { 1, 2, 3 },
            ["logger.reassembled.length"] = { 8 }, on = { ["logger.split"] = { "B314" .. ENQ, ESC .. "EN" } },
            info = "EN: result? [joined]; frame continues in a later datagram" },
      },
      second = { { ["logger.reassembled_in"] = { 3 } }, { ["logger.reassembled_in"] = { 3 } }, {} } },
    { name = "text before a frame's start goes; an ENQ before any ESC ends nothing",
      datagrams = { to_logger("xy" .. ENQ .. "z" .. ESC .. "ENB314" .. ENQ), to_logger(ENQ .. "ab" .. ESC .. "E"),
                    to_logger("NB314" .. ENQ) },
      expect = { { ["logger.kind"] = { "EN" }, on = { ["logger.summary"] = { ESC .. "ENB314" .. ENQ } } },
                 { on = { ["logger.split"] = { ESC .. "E" } } },
                 { ["logger.kind"] = { "EN" }, ["logger.checksum.status"] = GOOD, ["logger.fragment"] = { 2, 3 } } } },
    { name = "search answers cleaned as the tool cleans them; another sender ends a waiting answer",
      datagrams = { answer(ESC .. "SN\0" .. "01\n#S1\255" .. ENQ), answer(ESC .. "AA"),
                    answer(ESC .. "BB#S2" .. ENQ) },
      expect = { { ["logger.serial"] = { "SN 01 " }, ["logger.version"] = { "S1 " },
                   on = { ["logger.version"] = { "S1\255" } } },
                 { taken = true },
                 { ["logger.serial"] = { "AA" .. ESC .. "BB" }, ["logger.version"] = { "S2" } } } },
    { name = "a datagram cut by the capture is read alone",
      datagrams = { to_logger(ESC .. "E"),
                    to_logger("NB314" .. ENQ .. ESC .. "ENB314" .. ENQ .. ESC .. "UD0000E70A" .. ENQ, 17),
                    to_logger("E70A" .. ENQ), to_logger(ESC .. "ENB314" .. ENQ) },
      expect = { {}, { ["logger.kind"] = { "EN" }, ["logger.checksum.status"] = GOOD, ["logger.split"] = {},
                       experts = { "logger.truncated" }, info = "EN: result?" },
                 { ["logger.kind"] = {}, info = "no frame" },
                 { ["logger.checksum.status"] = GOOD, info = "EN: result?" } },
      second = { { experts = { "logger.dropped" } } } },
}

-- A stray ESC and more text than the tool keeps: the ESC goes with the oldest text, the waiting frame is
-- dropped, and the next frame is read alone and whole.
local stray = { to_logger(ESC) }
for n = 1, 240 do
    stray[#stray + 1] = to_logger(string.rep(string.char(65 + n % 26), 1400))
end
stray[#stray + 1] = to_logger(ESC .. "ENB314" .. ENQ)
local stray_expect = {}
for n = 1, #stray - 1 do
    stray_expect[n] = { ["logger.kind"] = {} }
end
stray_expect[#stray] = { ["logger.kind"] = { "EN" }, ["logger.checksum.status"] = GOOD, info = "EN: result?" }
cases[#cases + 1] = { name = "stray ESC", datagrams = stray, expect = stray_expect,
                      second = { { experts = { "logger.dropped" } } } }

-- Random runs against the accumulator written plainly (one growing string, cut at its cap as the tool
-- does, from datagrams of which it reads 10,230 bytes): every frame the tool would cut, and only those,
-- each shown whole.
local function plain_frames(datagrams)
    local cap, acc, frames = 320 * 1024, "", {}
    for number, datagram in ipairs(datagrams) do
        local text = datagram.bytes:sub(1, 10230):match("^[^%z]*")
        if #text > 0 then
            local excess = #acc + #text - cap
            if excess > 0 then
                local keep = excess < #acc and acc:find(ESC, excess + 1, true)
                if keep then
                    acc = acc:sub(keep)
                else
                    local esc = text:find(ESC, excess > #acc and excess - #acc + 1 or 1, true)
                    acc, text = "", esc and text:sub(esc) or ""
                end
            end
            acc = acc .. text
            while true do
                local enq, esc = acc:find(ENQ, 1, true), acc:find(ESC, 1, true)
                if not enq or not esc then
                    break
                end
                if esc < enq then
                    frames[#frames + 1] = number .. ":" .. acc:sub(esc, enq)
                end
                acc = acc:sub(enq + 1)
            end
        end
    end
    return frames
end

-- Short and long datagrams; in every other run ENQ and 0x00 are rare, so that the text waiting reaches the
-- cap.
math.randomseed(25)
local pieces = { ESC, "EN", "B314" }
for run = 1, 12 do
    local rare, longest = run % 2 == 0, run % 3 == 1 and 40 or 9000
    local datagrams = {}
    for _ = 1, 150 do
        local bytes = {}
        for _ = 1, math.random(1, 6) do
            local dice = math.random()
            bytes[#bytes + 1] = dice < (rare and 0.005 or 0.15) and ENQ
                or dice < (rare and 0.01 or 0.25) and "\0"
                or dice < 0.7 and pieces[math.random(#pieces)]
                or string.rep("x", math.random(1, longest))
        end
        datagrams[#datagrams + 1] = to_logger(table.concat(bytes))
    end
    cases[#cases + 1] = { name = "random run " .. run, datagrams = datagrams, frames = plain_frames(datagrams) }
end

-- Every frame a run shows, as "packet:bytes".
local function frames_shown(packets)
    local shown = {}
    for number, packet in ipairs(packets) do
        for _, item in ipairs(packet.items) do
            if item.field == "logger.summary" then
                local range = item.range
                shown[#shown + 1] = number .. ":" .. range.tvb.bytes:sub(range.offset + 1, range.offset + range.length)
            end
        end
    end
    return shown
end

local failures = 0
local function fail(case, number, what)
    failures = failures + 1
    io.stderr:write(string.format("FAIL %s, packet %d: %s\n", case.name, number, what))
end

local function show(list)
    local parts = {}
    for _, value in ipairs(list) do
        parts[#parts + 1] = string.format("%q", tostring(value))
    end
    return "{" .. table.concat(parts, ", ") .. "}"
end

local function compare(case, number, packet, expected)
    for field, values in pairs(expected) do
        local got
        if field == "info" then
            got, values = { packet.info }, { values }
        elseif field == "taken" then
            got, values = { packet.taken }, { values }
        elseif field == "experts" then
            got = {}
            for _, e in ipairs(packet.experts) do
                if e.abbr ~= "logger.split_frame" then
                    got[#got + 1] = e.abbr
                end
            end
        elseif field == "on" then
            for on_field, texts in pairs(values) do
                local bytes = {}
                for _, item in ipairs(packet.items) do
                    if item.field == on_field then
                        local range = item.range
                        bytes[#bytes + 1] = range.tvb.bytes:sub(range.offset + 1, range.offset + range.length)
                    end
                end
                if show(bytes) ~= show(texts) then
                    fail(case, number, on_field .. " stands on " .. show(bytes) .. ", expected " .. show(texts))
                end
            end
            got = values
        else
            got = stub.values(packet, field)
        end
        if show(got) ~= show(values) then
            fail(case, number, field .. " is " .. show(got) .. ", expected " .. show(values))
        end
    end
end

-- What a packet shows, for comparing the passes: every item and expert but the second pass's links.
local function shown(packet)
    local lines = { tostring(packet.info) }
    for _, item in ipairs(packet.items) do
        if item.field ~= "logger.reassembled_in" then
            lines[#lines + 1] = string.format("%s=%s@%d+%d", item.field, tostring(item.value), item.range.offset,
                item.range.length)
        end
    end
    for _, e in ipairs(packet.experts) do
        if e.abbr ~= "logger.dropped" then
            lines[#lines + 1] = e.abbr .. ": " .. e.text
        end
    end
    return table.concat(lines, "\n")
end

for _, case in ipairs(cases) do
    logger.init()
    local first = {}
    for number, datagram in ipairs(case.datagrams) do
        local ok, packet = pcall(stub.dissect, logger, datagram, number, false)
        if not ok then
            fail(case, number, "error: " .. tostring(packet))
        else
            first[number] = packet
            compare(case, number, packet, case.expect and case.expect[number] or {})
        end
    end
    if case.frames then
        local shown = frames_shown(first)
        for k = 1, math.max(#shown, #case.frames) do
            if shown[k] ~= case.frames[k] then
                local function brief(frame)
                    return frame and string.format("%q", #frame > 40 and frame:sub(1, 20) .. "..." .. frame:sub(-20)
                        .. " (" .. #frame .. " bytes)" or frame) or "none"
                end
                fail(case, 0, string.format("frame %d is %s, the tool cuts %s", k, brief(shown[k]),
                    brief(case.frames[k])))
                break
            end
        end
    end
    for number, datagram in ipairs(case.datagrams) do
        local ok, packet = pcall(stub.dissect, logger, datagram, number, true)
        if not ok then
            fail(case, number, "error in the second pass: " .. tostring(packet))
        elseif first[number] and shown(packet) ~= shown(first[number]) then
            fail(case, number, "the second pass shows\n" .. shown(packet) .. "\nthe first\n" .. shown(first[number]))
        elseif case.second and case.second[number] then
            compare(case, number, packet, case.second[number])
        end
    end
end

print(string.format("%s: %d cases, %d failures", _VERSION, #cases, failures))
os.exit(failures == 0 and 0 or 1)
