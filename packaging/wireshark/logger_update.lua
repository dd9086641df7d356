-- Wireshark dissector for the data loggers' search and update protocol of the Logger Update Tool.
--
-- Search (UDP port 23): the probe FF 04 03 FB, and answers ESC serial number "#" version ENQ.
-- Update (UDP port 8000): frames ESC payload check-code ENQ, several in one datagram or one over two; the
-- check code is the CRC-16/MODBUS of the payload as four upper-case hexadecimal digits, low byte first.
--
-- Install: copy this file into Wireshark's personal plugin folder (Help > About Wireshark > Folders >
-- Personal Lua Plugins) or its global one; tshark -X lua_script:logger_update.lua also loads it.
-- The ports are preferences (Edit > Preferences > Protocols > LOGGER), for captures made on other ports.

local logger = Proto("logger", "Logger Update Protocol")

local ESC, ENQ = "\27", "\5"
local PROBE = "\255\4\3\251"

local f = logger.fields
f.kind = ProtoField.string("logger.kind", "Kind")
f.summary = ProtoField.string("logger.summary", "Frame")
f.probe = ProtoField.bytes("logger.probe", "Probe")
f.serial = ProtoField.string("logger.serial", "Serial number")
f.version = ProtoField.string("logger.version", "Version")
f.block_count = ProtoField.uint16("logger.block_count", "Block count", base.HEX_DEC)
f.block = ProtoField.uint16("logger.block", "Block", base.HEX_DEC)
f.data = ProtoField.string("logger.data", "Block data")
f.data_length = ProtoField.uint32("logger.data_length", "Block data length")
f.start_block = ProtoField.uint16("logger.start_block", "Start block", base.HEX_DEC)
f.resend_count = ProtoField.uint32("logger.resend_count", "Blocks to resend", base.DEC)
f.resend_block = ProtoField.uint16("logger.resend_block", "Resend block", base.HEX_DEC)
f.complete = ProtoField.bool("logger.complete", "Update complete")
f.refusal = ProtoField.string("logger.refusal", "Refusal")
f.payload = ProtoField.string("logger.payload", "Payload")
f.crc = ProtoField.string("logger.crc", "Check code")
f.crc_expected = ProtoField.string("logger.crc_expected", "Check code expected")
f.crc_ok = ProtoField.bool("logger.crc_ok", "Check code good")
f.split = ProtoField.string("logger.split", "Split frame")
f.junk = ProtoField.bytes("logger.junk", "Bytes outside any frame")

local e_crc = ProtoExpert.new("logger.crc_bad", "Check code wrong: the tool drops this frame",
    expert.group.CHECKSUM, expert.severity.WARN)
local e_split = ProtoExpert.new("logger.split_frame", "Frame split over datagrams",
    expert.group.REASSEMBLE, expert.severity.NOTE)
logger.experts = { e_crc, e_split }

logger.prefs.update_port = Pref.uint("Update port", 8000, "UDP port of the update dialogue")
logger.prefs.discovery_port = Pref.uint("Search port", 23, "UDP port of the search (probe and answers)")

local REFUSALS = { E80 = "Flash not exists,can not update", E81 = "Same Version" }

local function check_code(text)
    local crc = 0xFFFF
    for i = 1, #text do
        crc = bit32.bxor(crc, text:byte(i))
        for _ = 1, 8 do
            if bit32.band(crc, 1) ~= 0 then
                crc = bit32.bxor(bit32.rshift(crc, 1), 0xA001)
            else
                crc = bit32.rshift(crc, 1)
            end
        end
    end
    return string.format("%02X%02X", bit32.band(crc, 0xFF), bit32.rshift(crc, 8))
end

local function hex4(text, at)
    local digits = text:sub(at, at + 3)
    if #digits == 4 and digits:match("^%x%x%x%x$") then
        return tonumber(digits, 16)
    end
end

-- First pass only: per direction of a conversation, the start of a frame still waiting for its ENQ; per
-- logger, the tool's last request ("LU" or "EN"), which tells an acceptance from a resend answer.
local pending, last_request = {}, {}
-- Per packet, what the first pass knew when it reached it.
local carried, request_before = {}, {}

function logger.init()
    pending, last_request, carried, request_before = {}, {}, {}, {}
end

local function direction_key(pinfo)
    return tostring(pinfo.src) .. ":" .. pinfo.src_port .. ">" .. tostring(pinfo.dst) .. ":" .. pinfo.dst_port
end

-- The frames of one datagram's text, as the tool cuts them: from an ESC to the first ENQ after it; text
-- through an ENQ before any ESC is junk. Returns the frames {first, last} and where an unfinished frame
-- begins (nil when none).
local function cut_frames(text)
    local frames, at = {}, 1
    while true do
        local enq = text:find(ENQ, at, true)
        local esc = text:find(ESC, at, true)
        if not esc then
            return frames, nil
        end
        if not enq then
            return frames, esc
        end
        if enq < esc then
            at = enq + 1
        else
            frames[#frames + 1] = { esc, enq }
            at = enq + 1
        end
    end
end

-- An update payload's meaning: its kind, the fields to add, and its column text.
local function update_payload(payload, request)
    local kind = payload:sub(1, 2)
    if kind == "LU" and #payload >= 6 then
        local count = hex4(payload, #payload - 3)
        local version = payload:sub(3, #payload - 4)
        if count then
            return "LU", { { f.version, version }, { f.block_count, count } },
                string.format("LU %s %04X", version, count)
        end
    elseif kind == "UD" and #payload >= 6 then
        local block = hex4(payload, 3)
        if block then
            local data = payload:sub(7)
            return "UD", { { f.block, block }, { f.data, data }, { f.data_length, #data } },
                string.format("UD block 0x%04X (%d), %d characters", block, block, #data)
        end
    elseif payload == "EN" then
        return "EN", {}, "EN: result?"
    elseif payload == "R" then
        return "R", { { f.complete, true } }, "R: update complete"
    elseif payload:sub(1, 1) == "R" then
        local first = hex4(payload, 2)
        if first and (request == "EN" or #payload > 5) then
            local fields, listed = { { f.resend_count, first } }, {}
            for i = 0, first - 1 do
                local block = hex4(payload, 6 + 4 * i)
                if not block then
                    break
                end
                fields[#fields + 1] = { f.resend_block, block }
                listed[#listed + 1] = string.format("0x%04X", block)
            end
            return "R", fields, string.format("R %04X: resend %s", first,
                #listed > 0 and table.concat(listed, " ") or "none")
        elseif first then
            return "R", { { f.start_block, first } }, string.format("R %04X: start at block 0x%04X", first, first)
        end
    elseif REFUSALS[payload:sub(1, 3)] then
        local code = payload:sub(1, 3)
        return code, { { f.refusal, REFUSALS[code] } }, code .. ": " .. REFUSALS[code]
    end
    return "unknown", {}, "unknown payload " .. payload
end

local function add_update_frame(tree, range, text, request)
    local payload = #text > 6 and text:sub(2, #text - 5) or ""
    local received = #text >= 6 and text:sub(#text - 4, #text - 1) or ""
    local expected = check_code(payload)
    local good = #text >= 6 and received == expected
    local kind, fields, summary = update_payload(payload, request)
    summary = summary .. (good and ", check code good" or ", check code WRONG")
    local item = tree:add(f.summary, range, summary)
    item:add(f.kind, range, kind)
    if #payload > 0 then
        item:add(f.payload, range(1, #payload), payload)
    end
    for _, field in ipairs(fields) do
        item:add(field[1], range(1, math.max(#payload, 1)), field[2])
    end
    if #text >= 6 then
        item:add(f.crc, range(#text - 5, 4), received)
    end
    item:add(f.crc_expected, range, expected)
    local ok = item:add(f.crc_ok, range, good)
    if not good then
        ok:add_proto_expert_info(e_crc, "Check code wrong: got " .. received .. ", expected " .. expected)
    end
    return kind, summary
end

local function add_search_frame(tree, range, text)
    local body = text:sub(2, #text - 1)
    local hash = body:find("#", 1, true)
    local serial = hash and body:sub(1, hash - 1) or body
    local version = hash and body:sub(hash + 1) or ""
    local summary = "Answer " .. serial .. (hash and (" " .. version) or " (no version)")
    local item = tree:add(f.summary, range, summary)
    item:add(f.kind, range, "answer")
    item:add(f.serial, range, serial)
    item:add(f.version, range, version)
    return "answer", summary
end

local function dissect(tvb, pinfo, tree)
    local update = pinfo.dst_port == logger.prefs.update_port or pinfo.src_port == logger.prefs.update_port
    local raw = tvb:raw()
    pinfo.cols.protocol = "LOGGER"
    local root = tree:add(logger, tvb())

    if not update and raw == PROBE then
        root:add(f.kind, tvb(), "probe")
        root:add(f.probe, tvb())
        pinfo.cols.info = "Search probe"
        return tvb:len()
    end

    -- The tool reads an update datagram only up to a zero byte.
    if update then
        local zero = raw:find("\0", 1, true)
        if zero then
            raw = raw:sub(1, zero - 1)
        end
    end

    local key = direction_key(pinfo)
    local logger_address = tostring(pinfo.src)
    if not pinfo.visited then
        carried[pinfo.number] = pending[key]
        request_before[pinfo.number] = last_request[logger_address]
    end
    local before = carried[pinfo.number] or ""
    local text = before .. raw
    local buffer, offset = tvb, 0
    if #before > 0 then
        buffer = ByteArray.new(text, true):tvb("Frame joined over datagrams")
        offset = #before
    end

    local frames, unfinished = cut_frames(text)
    local summaries = {}
    for _, span in ipairs(frames) do
        local first, last = span[1], span[2]
        local frame = text:sub(first, last)
        local range = buffer(first - 1, last - first + 1)
        local kind, summary
        if update then
            kind, summary = add_update_frame(root, range, frame, request_before[pinfo.number])
            if not pinfo.visited and (kind == "LU" or kind == "EN") then
                last_request[tostring(pinfo.dst)] = kind
            end
        else
            kind, summary = add_search_frame(root, range, frame)
        end
        if first <= offset then
            root:add(f.split, range, "end: begun in an earlier datagram")
                :add_proto_expert_info(e_split, "Frame begun in an earlier datagram ends here")
            summary = summary .. " [joined]"
        end
        summaries[#summaries + 1] = summary
    end
    if unfinished then
        local from = math.max(unfinished - 1 - offset, 0)
        root:add(f.split, tvb(from), "start: continues in a later datagram")
            :add_proto_expert_info(e_split, "Frame begins here and continues in a later datagram")
        summaries[#summaries + 1] = "frame continues in a later datagram"
    end
    if not pinfo.visited then
        pending[key] = unfinished and text:sub(unfinished) or nil
    end
    if #summaries == 0 then
        root:add(f.junk, tvb())
        summaries[1] = "no frame"
    end
    pinfo.cols.info = table.concat(summaries, "; ")
    return tvb:len()
end

function logger.dissector(tvb, pinfo, tree)
    return dissect(tvb, pinfo, tree)
end

-- Port 23 is telnet's: a datagram there is the logger's only when it is the probe or holds a frame's
-- start or end.
local function heuristic(tvb, pinfo, tree)
    local port = logger.prefs.discovery_port
    if pinfo.src_port ~= port and pinfo.dst_port ~= port then
        return false
    end
    local raw = tvb:raw()
    if raw ~= PROBE and not raw:find(ESC, 1, true) and not pending[direction_key(pinfo)]
        and not carried[pinfo.number] then
        return false
    end
    dissect(tvb, pinfo, tree)
    return true
end

local registered_port
local function register_update_port()
    local udp = DissectorTable.get("udp.port")
    if registered_port then
        udp:remove(registered_port, logger)
    end
    registered_port = logger.prefs.update_port
    udp:add(registered_port, logger)
end

logger.prefs_changed = register_update_port
DissectorTable.get("udp.port"):add_for_decode_as(logger)
register_update_port()
logger:register_heuristic("udp", heuristic)
