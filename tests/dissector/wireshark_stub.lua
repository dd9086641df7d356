-- The part of Wireshark's Lua API the dissector uses, enough to run it under a plain interpreter: fields,
-- experts and preferences are tables, a tree keeps what is added to it, and ranges are checked as
-- Wireshark checks them (out of bounds, or a value of the wrong type, is an error).
local stub = { protocols = {}, heuristics = {} }

base = { DEC = "DEC", HEX_DEC = "HEX_DEC", NONE = "NONE" }
expert = {
    group = { CHECKSUM = "checksum", REASSEMBLE = "reassemble", MALFORMED = "malformed", PROTOCOL = "protocol",
              RESPONSE_CODE = "response", UNDECODED = "undecoded" },
    severity = { NOTE = "note", WARN = "warn", ERROR = "error" },
}

local function field_maker(kind)
    return function(abbr, name, _, values)
        return { abbr = abbr, name = name, kind = kind, values = values }
    end
end
ProtoField = {}
for _, kind in ipairs({ "string", "bytes", "uint8", "uint16", "uint32", "bool", "framenum" }) do
    ProtoField[kind] = field_maker(kind)
end

ProtoExpert = { new = function(abbr, text, group, severity)
    return { abbr = abbr, text = text, group = group, severity = severity }
end }

Pref = { uint = function(_, default) return default end }

local port_table = { add = function() end, remove = function() end, add_for_decode_as = function() end }
DissectorTable = { get = function() return port_table end }

local Protocol = {}
Protocol.__index = Protocol
function Protocol.register_heuristic(proto, _, dissector)
    stub.heuristics[proto.name] = dissector
end
Proto = setmetatable({}, { __call = function(_, name, description)
    local proto = setmetatable({ name = name, description = description, fields = {}, prefs = {} }, Protocol)
    stub.protocols[name] = proto
    return proto
end })

-- Buffers and ranges.
local Tvb, Range = {}, {}
Tvb.__index, Range.__index = Tvb, Range
local function new_tvb(bytes, reported)
    return setmetatable({ bytes = bytes, reported = reported or #bytes }, Tvb)
end
function Tvb:len() return #self.bytes end
function Tvb:reported_len() return self.reported end
function Tvb:raw(offset, length)
    offset = offset or 0
    length = (length == nil or length < 0) and #self.bytes - offset or length
    assert(offset >= 0 and offset + length <= #self.bytes, "Range is out of bounds")
    return self.bytes:sub(offset + 1, offset + length)
end
Tvb.__call = function(self, offset, length)
    offset = offset or 0
    length = (length == nil or length < 0) and #self.bytes - offset or length
    assert(offset >= 0 and offset + length <= #self.bytes and (length > 0 or offset < #self.bytes),
        "Range is out of bounds")
    return setmetatable({ tvb = self, offset = offset, length = length }, Range)
end
function Range:len() return self.length end
Range.__call = function(self, offset, length)
    length = (length == nil or length < 0) and self.length - offset or length
    assert(offset >= 0 and offset + length <= self.length, "Range is out of bounds")
    return self.tvb(self.offset + offset, length)
end

ByteArray = { new = function(bytes, raw)
    assert(raw == true, "ByteArray.new takes hexadecimal text unless raw")
    return { tvb = function(_, _) return new_tvb(bytes) end }
end }

-- Trees: every item added, in order, with the bytes it stands on.
local Item = {}
Item.__index = Item
local function unsigned(limit)
    return function(v) return type(v) == "number" and v >= 0 and v < limit and v % 1 == 0 end
end
local value_checks = {
    string = function(v) return type(v) == "string" end,
    uint8 = unsigned(2 ^ 8),
    uint16 = unsigned(2 ^ 16),
    uint32 = unsigned(2 ^ 32),
    framenum = function(v) return unsigned(2 ^ 32)(v) and v >= 1 end,
    bool = function(v) return type(v) == "boolean" end,
}
function Item:add(field, range, value)
    assert(getmetatable(range) == Range, "a tree item needs a range")
    local bytes = range.tvb.bytes:sub(range.offset + 1, range.offset + range.length)
    if value == nil then
        assert(field.kind == "string" or field.kind == "bytes" or getmetatable(field) == Protocol,
            "no value for " .. tostring(field.abbr))
        value = bytes
    else
        assert(value_checks[field.kind](value), "wrong value for " .. field.abbr .. ": " .. tostring(value))
    end
    local item = setmetatable({ packet = self.packet, field = field.abbr or field.name, value = value,
                                range = range, experts = {} }, Item)
    self.packet.items[#self.packet.items + 1] = item
    return item
end
function Item:add_proto_expert_info(e, text)
    self.packet.experts[#self.packet.experts + 1] = { abbr = e.abbr, severity = e.severity, text = text or e.text }
end
function Item:set_generated() self.generated = true end

-- Runs one datagram through the protocol's dissector (port 8000 or the update port) or its heuristic, and
-- returns what was shown: items, experts, the Info column.
function stub.dissect(proto, datagram, number, visited)
    local packet = { items = {}, experts = {} }
    local pinfo = { number = number, visited = visited, src = datagram.src, dst = datagram.dst,
                    src_port = datagram.port, dst_port = datagram.port, cols = {} }
    local tvb = new_tvb(datagram.bytes:sub(1, datagram.captured or #datagram.bytes), #datagram.bytes)
    local root = setmetatable({ packet = packet }, Item)
    if datagram.port == proto.prefs.discovery_port then
        packet.taken = stub.heuristics[proto.name](tvb, pinfo, root)
    else
        proto.dissector(tvb, pinfo, root)
        packet.taken = true
    end
    packet.info = pinfo.cols.info
    return packet
end

-- Values of one field in a packet, in order.
function stub.values(packet, abbr)
    local found = {}
    for _, item in ipairs(packet.items) do
        if item.field == abbr then
            found[#found + 1] = item.value
        end
    end
    return found
end

return stub
