-- Wireshark dissector for the data loggers' search and update protocol of the Logger Update Tool.
--
-- Search (UDP port 23): the probe FF 04 03 FB, and answers ESC serial number "#" version ENQ.
-- Update (UDP port 8000): frames ESC payload check-code ENQ, several in one datagram or one over several; the
-- check code is the CRC-16/MODBUS of the payload as four upper-case hexadecimal digits, low byte first.
--
-- Frames are cut as the tool cuts them: each receiving endpoint joins what every sender sends it, a frame
-- runs from an ESC to the first ENQ after it, and at most 320 KiB of unfinished text is kept.
--
-- Runs on Lua 5.1 to 5.4 (plain arithmetic, no bit library). Install: copy this file into Wireshark's
-- personal plugin folder (Help > About Wireshark > Folders > Personal Lua Plugins) or its global one;
-- tshark -X lua_script:logger_update.lua also loads it. The ports are preferences (Edit > Preferences >
-- Protocols > LOGGER), for captures made on other ports.

local logger = Proto("logger", "Logger Update Protocol")

local ESC, ENQ = "\27", "\5"
local PROBE = "\255\4\3\251"
local RX_BUFFER = 10230 -- the tool takes in at most this many bytes of a datagram
local CAP = 320 * 1024 -- and keeps at most this much unfinished text per endpoint

local CHECKSUM_BAD, CHECKSUM_GOOD = 0, 1
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
f.resend_count = ProtoField.uint16("logger.resend_count", "Blocks to resend", base.DEC)
f.resend_block = ProtoField.uint16("logger.resend_block", "Resend block", base.HEX_DEC)
f.complete = ProtoField.bool("logger.complete", "Update complete")
f.refusal = ProtoField.string("logger.refusal", "Refusal")
f.payload = ProtoField.string("logger.payload", "Payload")
f.checksum = ProtoField.string("logger.checksum", "Check code")
f.checksum_calculated = ProtoField.string("logger.checksum.calculated", "Calculated check code")
f.checksum_status = ProtoField.uint8("logger.checksum.status", "Check code status", base.DEC,
    { [CHECKSUM_BAD] = "Bad", [CHECKSUM_GOOD] = "Good" })
f.split = ProtoField.string("logger.split", "Split frame")
f.fragment = ProtoField.framenum("logger.fragment", "Part of the frame in")
f.reassembled_in = ProtoField.framenum("logger.reassembled_in", "Reassembled in")
f.reassembled_length = ProtoField.uint32("logger.reassembled.length", "Reassembled length")
f.junk = ProtoField.bytes("logger.junk", "Bytes outside any frame")
f.ignored = ProtoField.bytes("logger.ignored", "Bytes the tool does not read")

local e_checksum = ProtoExpert.new("logger.checksum.bad", "Bad check code: the tool drops this frame",
    expert.group.CHECKSUM, expert.severity.ERROR)
local e_split = ProtoExpert.new("logger.split_frame", "Frame split over datagrams",
    expert.group.REASSEMBLE, expert.severity.NOTE)
local e_dropped = ProtoExpert.new("logger.dropped", "Unfinished frame dropped", expert.group.REASSEMBLE,
    expert.severity.WARN)
local e_truncated = ProtoExpert.new("logger.truncated", "Datagram cut by the capture", expert.group.MALFORMED,
    expert.severity.WARN)
local e_ignored = ProtoExpert.new("logger.too_long", "Datagram longer than the tool reads",
    expert.group.PROTOCOL, expert.severity.WARN)
local e_refused = ProtoExpert.new("logger.refused", "The logger refused the update", expert.group.RESPONSE_CODE,
    expert.severity.WARN)
local e_unknown = ProtoExpert.new("logger.unknown", "Payload the tool does not know", expert.group.UNDECODED,
    expert.severity.WARN)
logger.experts = { e_checksum, e_split, e_dropped, e_truncated, e_ignored, e_refused, e_unknown }

logger.prefs.update_port = Pref.uint("Update port", 8000, "UDP port of the update dialogue")
logger.prefs.discovery_port = Pref.uint("Search port", 23, "UDP port of the search (probe and answers)")

local REFUSALS = { E80 = "Flash not exists,can not update", E81 = "Same Version" }

-- Check code ----------------------------------------------------------------------------------------------

-- XOR of two bytes by table: Lua 5.1 and 5.2 have no bit operators, and bit32 is gone from 5.4. Row a is
-- row a-without-its-top-bit with that bit flipped in every entry.
local XOR = { [0] = {} }
for b = 0, 255 do
    XOR[0][b] = b
end
local top = 1
for a = 1, 255 do
    if a == top * 2 then
        top = a
    end
    local below, row = XOR[a - top], {}
    for b = 0, 255 do
        local value = below[b]
        row[b] = math.floor(value / top) % 2 == 0 and value + top or value - top
    end
    XOR[a] = row
end

-- The two tables of the table-driven CRC-16/MODBUS (reflected polynomial 0xA001): entry i of the step
-- table T split into the byte that meets the running low byte (CHECK_HI) and the one that becomes it.
local CHECK_HI, CHECK_LO = {}, {}
for i = 0, 255 do
    local low, high = i, 0
    for _ = 1, 8 do
        local carry = low % 2
        low = math.floor(low / 2) + (high % 2) * 128
        high = math.floor(high / 2)
        if carry == 1 then
            low, high = XOR[low][0x01], XOR[high][0xA0]
        end
    end
    CHECK_HI[i], CHECK_LO[i] = low, high
end

-- The running low byte is kept as its XOR row, so that a step is four table reads: NEXT[x][lo] is the row
-- of CHECK_HI[x] XOR lo.
local NEXT = {}
for x = 0, 255 do
    local row, high = {}, XOR[CHECK_HI[x]]
    for lo = 0, 255 do
        row[lo] = XOR[high[lo]]
    end
    NEXT[x] = row
end

local byte = string.byte

-- The check code of text[from..to]: four upper-case hexadecimal digits, the CRC's low byte first. Eight
-- bytes a step: string.byte with a range costs one call for all of them.
local function check_code(text, from, to)
    local hi, lo = XOR[0xFF], 0xFF
    local i = from
    while i + 7 <= to do
        local b1, b2, b3, b4, b5, b6, b7, b8 = byte(text, i, i + 7)
        local x
        x = hi[b1]; hi = NEXT[x][lo]; lo = CHECK_LO[x]
        x = hi[b2]; hi = NEXT[x][lo]; lo = CHECK_LO[x]
        x = hi[b3]; hi = NEXT[x][lo]; lo = CHECK_LO[x]
        x = hi[b4]; hi = NEXT[x][lo]; lo = CHECK_LO[x]
        x = hi[b5]; hi = NEXT[x][lo]; lo = CHECK_LO[x]
        x = hi[b6]; hi = NEXT[x][lo]; lo = CHECK_LO[x]
        x = hi[b7]; hi = NEXT[x][lo]; lo = CHECK_LO[x]
        x = hi[b8]; hi = NEXT[x][lo]; lo = CHECK_LO[x]
        i = i + 8
    end
    for j = i, to do
        local x = hi[byte(text, j)]
        hi = NEXT[x][lo]
        lo = CHECK_LO[x]
    end
    return string.format("%02X%02X", hi[0], lo)
end

-- Accumulator ---------------------------------------------------------------------------------------------

-- The text an endpoint of the tool receives, as its accumulator keeps it: the datagrams' texts as pieces
-- (each piece a datagram's text, never copied), positions counted over everything the endpoint has
-- received, the live text from `start` to `finish`. As in the tool, a search for ENQ (ESC) starts where the
-- last one found none, so a long unfinished frame is searched once.
local function new_accumulator()
    return { pieces = {}, head = 1, tail = 0, start = 0, finish = 0, enq_from = 0, esc_from = 0 }
end

-- The index of the piece that holds position `at` (the last one when `at` lies beyond them): a binary
-- search, so that many small datagrams cost no more than a few large ones.
local function piece_at(acc, at)
    local pieces, low, high = acc.pieces, acc.head, acc.tail
    while low < high do
        local middle = math.floor((low + high + 1) / 2)
        if pieces[middle].at <= at then
            low = middle
        else
            high = middle - 1
        end
    end
    return low
end

-- Position of the first `char` at or after position `from`, or nil.
local function find(acc, char, from)
    local pieces = acc.pieces
    for k = piece_at(acc, from), acc.tail do
        local piece = pieces[k]
        local i = piece.text:find(char, from > piece.at and from - piece.at + 1 or 1, true)
        if i then
            return piece.at + i - 1
        end
    end
end

-- The packet numbers of positions first..last, and their text when asked.
local function slice(acc, first, last, with_text)
    local parts, packets = {}, {}
    local pieces = acc.pieces
    for k = piece_at(acc, first), acc.tail do
        local piece = pieces[k]
        if piece.at > last then
            break
        end
        local stop = piece.at + #piece.text - 1
        if with_text then
            parts[#parts + 1] = piece.text:sub(first > piece.at and first - piece.at + 1 or 1,
                last < stop and last - piece.at + 1 or #piece.text)
        end
        packets[#packets + 1] = piece.packet
    end
    return packets, with_text and table.concat(parts) or nil
end

-- Forgets the pieces wholly before the live text.
local function release(acc)
    local pieces = acc.pieces
    while acc.head <= acc.tail and pieces[acc.head].at + #pieces[acc.head].text <= acc.start do
        pieces[acc.head] = nil
        acc.head = acc.head + 1
    end
end

-- Appends one datagram's text as the tool does: beyond the cap, the oldest text goes, up to the next ESC,
-- so that what stays is a run of received text. Returns the position of the text's first byte kept and its
-- offset in the datagram, and the packets of a frame start that went.
local function append(acc, text, packet)
    local offset, dropped = 0, nil
    local live = acc.finish - acc.start
    if live + #text > CAP then
        local excess = live + #text - CAP
        local first_esc = find(acc, ESC, math.max(acc.start, acc.esc_from))
        local keep = excess < live and find(acc, ESC, acc.start + excess) or nil
        local new_start = keep or acc.finish
        if first_esc and first_esc < new_start then
            dropped = slice(acc, first_esc, new_start - 1)
        end
        acc.start = new_start
        if not keep then
            local esc = text:find(ESC, excess > live and excess - live + 1 or 1, true)
            offset = esc and esc - 1 or #text
            text = text:sub(offset + 1)
        end
        acc.enq_from, acc.esc_from = math.max(acc.enq_from, acc.start), math.max(acc.esc_from, acc.start)
        release(acc)
    end
    local at = acc.finish
    if #text > 0 then
        acc.tail = acc.tail + 1
        acc.pieces[acc.tail] = { text = text, at = at, packet = packet }
        acc.finish = at + #text
    end
    return at, offset, dropped
end

-- Cuts every complete frame as the tool does: frames {first, last} in positions, in order; a frame that
-- began before position `at` also carries its joined text and the packets of its parts.
local function extract(acc, at)
    local frames = {}
    while true do
        local enq = find(acc, ENQ, math.max(acc.start, acc.enq_from))
        if not enq then
            acc.enq_from = acc.finish
            break
        end
        acc.enq_from = enq
        local esc = find(acc, ESC, math.max(acc.start, acc.esc_from))
        if not esc then
            acc.esc_from = acc.finish
            break
        end
        acc.esc_from = esc
        if enq > esc then
            local frame = { first = esc, last = enq }
            if esc < at then
                frame.parts, frame.text = slice(acc, esc, enq, true)
            end
            frames[#frames + 1] = frame
        end
        acc.start = enq + 1
    end
    release(acc)
    return frames
end

-- Where the unfinished frame waiting in the accumulator begins, or nil.
local function waiting_frame(acc)
    local esc = find(acc, ESC, math.max(acc.start, acc.esc_from))
    acc.esc_from = esc or acc.finish
    return esc
end

-- The text the tool takes from a datagram: on the update channel up to the first 0x00; on the search
-- channel 0x00, 0x0A, 0xFB and 0xFF become spaces.
local function datagram_text(raw, update)
    if update then
        local zero = raw:find("\0", 1, true)
        return zero and raw:sub(1, zero - 1) or raw
    end
    return (raw:gsub("[%z\n\251\255]", " "))
end

-- First pass -------------------------------------------------------------------------------------------

-- First pass only: each receiving endpoint's accumulator, and per logger the tool's last request ("LU" or
-- "EN"), which tells an acceptance from a resend answer. Per packet, what the first pass found (records):
-- the frames it ends (offset and length in the datagram, or the joined text and the packets of its parts),
-- where a frame continuing later begins, and links filled in when a later packet ends or drops that frame.
local accumulators, last_request, records = {}, {}, {}

function logger.init()
    accumulators, last_request, records = {}, {}, {}
end

local function link(packets, field, number)
    for _, packet in ipairs(packets or {}) do
        if packet ~= number and records[packet] then
            records[packet][field] = number
        end
    end
end

-- Reads one datagram's text into its endpoint's accumulator and records what it holds. A standalone
-- datagram (cut by the capture) neither joins what came before nor leaves anything for what follows;
-- without a key it touches no endpoint's state.
local function record(number, key, text, standalone)
    local rec = { frames = {} }
    records[number] = rec
    local acc = key and accumulators[key]
    if standalone then
        -- What the tool received is not known: the frame waiting at this endpoint is lost to the reading.
        local esc = acc and waiting_frame(acc)
        if esc then
            link(slice(acc, esc, acc.finish - 1), "dropped_in", number)
        end
        if key then
            accumulators[key] = nil
        end
        acc = new_accumulator()
    elseif not acc then
        acc = new_accumulator()
        accumulators[key] = acc
    end
    if #text == 0 then
        return rec
    end
    local at, offset, dropped = append(acc, text, number)
    link(dropped, "dropped_in", number)
    for _, cut in ipairs(extract(acc, at)) do
        local frame = { length = cut.last - cut.first + 1, text = cut.text, parts = cut.parts }
        if cut.text then
            frame.offset, frame.own = offset, cut.last - at + 1
            link(cut.parts, "reassembled_in", number)
        else
            frame.offset = cut.first - at + offset
        end
        rec.frames[#rec.frames + 1] = frame
    end
    local esc = not standalone and waiting_frame(acc)
    if esc and esc >= at then
        rec.continues = esc - at + offset
    elseif esc and acc.finish > at then
        rec.middle = offset
    end
    return rec
end

-- Payloads ------------------------------------------------------------------------------------------------

-- Text for a column or an expert item: bytes outside printable ASCII as \xNN.
local function printable(text)
    return (text:gsub("[^\32-\126]", function(c)
        return string.format("\\x%02X", c:byte())
    end))
end

local function hex4(text, at)
    local digits = text:sub(at, at + 3)
    if digits:match("^%x%x%x%x$") then
        return tonumber(digits, 16)
    end
end

-- An update payload's meaning: its kind and the bytes that say it (offset, length in the payload), the
-- fields {field, offset, length, value}, the column text, and an expert item {expert, text} if any.
local function update_payload(payload, request)
    local n = #payload
    local head = payload:sub(1, 2)
    if head == "LU" and n >= 6 then
        local count = hex4(payload, n - 3)
        if count then
            local version = payload:sub(3, n - 4)
            return "LU", 2, { { f.version, 2, n - 6, version }, { f.block_count, n - 4, 4, count } },
                string.format("LU %s %04X", printable(version), count)
        end
    elseif head == "UD" and n >= 6 then
        local block = hex4(payload, 3)
        if block then
            return "UD", 2, { { f.block, 2, 4, block }, { f.data, 6, n - 6 }, { f.data_length, 6, n - 6, n - 6 } },
                string.format("UD block 0x%04X (%d), %d characters", block, block, n - 6)
        end
    elseif payload == "EN" then
        return "EN", 2, {}, "EN: result?"
    elseif payload == "R" then
        return "R", 1, { { f.complete, 0, 1, true } }, "R: update complete"
    elseif payload:sub(1, 1) == "R" then
        local first = hex4(payload, 2)
        if first and (request == "EN" or n > 5) then
            local fields, listed = { { f.resend_count, 1, 4, first } }, {}
            for i = 0, first - 1 do
                local block = hex4(payload, 6 + 4 * i)
                if not block then
                    break
                end
                fields[#fields + 1] = { f.resend_block, 5 + 4 * i, 4, block }
                -- The column shows the first few; the tree has them all.
                if i < 16 then
                    listed[#listed + 1] = string.format("0x%04X", block)
                elseif i == 16 then
                    listed[#listed + 1] = "..."
                end
            end
            return "R", 1, fields, string.format("R %04X: resend %s", first,
                #listed > 0 and table.concat(listed, " ") or "none")
        elseif first then
            return "R", 1, { { f.start_block, 1, 4, first } },
                string.format("R %04X: start at block 0x%04X", first, first)
        end
    end
    local code = payload:sub(1, 3)
    if REFUSALS[code] then
        return code, 3, { { f.refusal, 0, 3, REFUSALS[code] } }, code .. ": " .. REFUSALS[code],
            { e_refused, "The logger refused the update: " .. code .. " (" .. REFUSALS[code] .. ")" }
    end
    return "unknown", n, {}, "unknown payload " .. printable(payload),
        { e_unknown, "Payload the tool does not know: " .. printable(payload) }
end

-- Tree ----------------------------------------------------------------------------------------------------

-- One update frame; `frame` is its record, whose calculated check code the first display keeps.
local function add_update_frame(root, range, text, frame, request)
    local n = #text
    local payload = n > 6 and text:sub(2, n - 5) or ""
    local kind, kind_length, fields, summary, problem = update_payload(payload, request)
    if n >= 6 and not frame.calculated then
        frame.calculated = check_code(text, 2, n - 5)
    end
    local good = n >= 6 and text:sub(n - 4, n - 1) == frame.calculated
    if not good then
        summary = summary .. ", check code WRONG"
    end
    local item = root:add(f.summary, range, summary)
    local payload_range = #payload > 0 and range(1, #payload) or range
    item:add(f.kind, #payload > 0 and range(1, math.max(kind_length, 1)) or range, kind)
    if #payload > 0 then
        item:add(f.payload, payload_range)
    end
    for _, field in ipairs(fields) do
        local at = field[3] > 0 and range(1 + field[2], field[3]) or payload_range
        if field[4] ~= nil then
            item:add(field[1], at, field[4])
        else
            item:add(field[1], at)
        end
    end
    if problem then
        item:add_proto_expert_info(problem[1], problem[2])
    end
    local code_range = n >= 6 and range(n - 5, 4) or range
    if n >= 6 then
        item:add(f.checksum, code_range)
        item:add(f.checksum_calculated, code_range, frame.calculated):set_generated()
    end
    local status = item:add(f.checksum_status, code_range, good and CHECKSUM_GOOD or CHECKSUM_BAD)
    status:set_generated()
    if not good then
        status:add_proto_expert_info(e_checksum, n >= 6
            and "Bad check code " .. text:sub(n - 4, n - 1) .. ", should be " .. frame.calculated
            or "Bad check code: a frame of fewer than six bytes")
    end
    return kind, summary
end

local function add_search_frame(root, range, text)
    local n = #text
    local hash = text:find("#", 2, true)
    local serial = text:sub(2, (hash or n) - 1)
    local version = hash and text:sub(hash + 1, n - 1) or ""
    local summary = "Answer " .. printable(serial) .. (hash and (" " .. printable(version)) or " (no version)")
    local item = root:add(f.summary, range, summary)
    item:add(f.kind, range, "answer")
    item:add(f.serial, #serial > 0 and range(1, #serial) or range, serial)
    item:add(f.version, hash and n - hash - 1 > 0 and range(hash, n - hash - 1) or range, version)
    return "answer", summary
end

-- Marks the part of a frame that continues in a later datagram: where it was put together, or dropped.
local function add_continuing(root, part, what, rec)
    local item = root:add(f.split, part, what)
    item:add_proto_expert_info(e_split, "Frame continues in a later datagram")
    if rec.reassembled_in then
        item:add(f.reassembled_in, part, rec.reassembled_in):set_generated()
    end
    if rec.dropped_in then
        item:add_proto_expert_info(e_dropped, string.format(
            "The frame never ends for the tool: dropped in frame %d (over %d bytes waiting, or a datagram "
            .. "cut by the capture)", rec.dropped_in, CAP))
    end
end

local function dissect(tvb, pinfo, tree, update)
    local captured, reported = tvb:len(), tvb:reported_len()
    local raw = tvb:raw(0, math.min(captured, RX_BUFFER))
    pinfo.cols.protocol = "LOGGER"
    local root = tree:add(logger, tvb())
    local number = pinfo.number

    if not update and raw == PROBE then
        records[number] = records[number] or { probe = true }
        root:add(f.kind, tvb(), "probe")
        root:add(f.probe, tvb())
        pinfo.cols.info = "Search probe"
        return captured
    end

    local text = datagram_text(raw, update)
    -- A datagram cut by the capture beyond what the tool reads is whole for the tool.
    local truncated = captured < reported and captured < RX_BUFFER
    local rec = records[number]
    if not pinfo.visited then
        rec = record(number, tostring(pinfo.dst) .. ":" .. pinfo.dst_port, text, truncated)
        rec.request = last_request[tostring(pinfo.src)]
    elseif not rec then
        rec = record(number, nil, text, true)
    end
    if truncated then
        root:add_proto_expert_info(e_truncated, string.format(
            "Datagram cut by the capture: %d of %d bytes captured; read alone, without the frames around it",
            captured, reported))
    elseif captured > RX_BUFFER then
        root:add(f.ignored, tvb(RX_BUFFER)):add_proto_expert_info(e_ignored, string.format(
            "The tool reads only the first %d bytes of a datagram", RX_BUFFER))
    end

    local summaries = {}
    for _, frame in ipairs(rec.frames) do
        local range, frame_text
        if frame.text then
            range = ByteArray.new(frame.text, true):tvb("Reassembled frame")()
            frame_text = frame.text
        else
            range = tvb(frame.offset, frame.length)
            frame_text = frame.length == #text and text or text:sub(frame.offset + 1, frame.offset + frame.length)
        end
        local kind, summary
        if update then
            kind, summary = add_update_frame(root, range, frame_text, frame, rec.request)
            if not pinfo.visited and (kind == "LU" or kind == "EN") then
                last_request[tostring(pinfo.dst)] = kind
            end
        else
            kind, summary = add_search_frame(root, range, frame_text)
        end
        if frame.text then
            local item = root:add(f.split, tvb(frame.offset, frame.own), "end: begun in an earlier datagram")
            item:add_proto_expert_info(e_split, "Frame begun in an earlier datagram ends here")
            for _, part in ipairs(frame.parts) do
                item:add(f.fragment, tvb(frame.offset, frame.own), part):set_generated()
            end
            item:add(f.reassembled_length, tvb(frame.offset, frame.own), frame.length):set_generated()
            summary = summary .. " [joined]"
        end
        summaries[#summaries + 1] = summary
    end
    if rec.continues then
        add_continuing(root, tvb(rec.continues, #text - rec.continues), "start: continues in a later datagram",
            rec)
        summaries[#summaries + 1] = "frame continues in a later datagram"
    elseif rec.middle then
        add_continuing(root, tvb(rec.middle, #text - rec.middle), "middle: continues in a later datagram", rec)
        summaries[#summaries + 1] = "frame continues in a later datagram"
    end
    if #summaries == 0 then
        root:add(f.junk, tvb())
        summaries[1] = "no frame"
    end
    pinfo.cols.info = table.concat(summaries, "; ")
    return captured
end

-- The update port's datagrams, both ways (also for Decode As).
function logger.dissector(tvb, pinfo, tree)
    local port = logger.prefs.discovery_port
    return dissect(tvb, pinfo, tree, pinfo.src_port ~= port and pinfo.dst_port ~= port)
end

-- Port 23 is telnet's: a datagram there is the logger's only when it is the probe, holds a frame start,
-- or comes while a frame waits for its end; the second pass takes what the first took.
local function heuristic(tvb, pinfo, tree)
    local port = logger.prefs.discovery_port
    if pinfo.src_port ~= port and pinfo.dst_port ~= port then
        return false
    end
    if pinfo.visited then
        if not records[pinfo.number] then
            return false
        end
    else
        local raw = tvb:raw(0, math.min(tvb:len(), RX_BUFFER))
        local acc = accumulators[tostring(pinfo.dst) .. ":" .. pinfo.dst_port]
        if raw ~= PROBE and not raw:find(ESC, 1, true) and not (acc and waiting_frame(acc)) then
            return false
        end
    end
    dissect(tvb, pinfo, tree, false)
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
