#include "cmddealmodule.h"

// Plausibility rules for replies, keyed by command and sub-command. A reply whose
// command or sub-command has no rule is accepted: the device may know commands
// that this table does not.
namespace {

struct Reply
{
    unsigned p1;
    unsigned p2;
    unsigned p3;
    unsigned len;  // block length announced by p2 (low) and p3 (high)
    unsigned size; // block bytes actually carried
};

bool in(unsigned v, unsigned lo, unsigned hi)
{
    return v >= lo && v <= hi;
}

// "len = L, size >= L": the announced length must be exactly L and the data there.
bool block(const Reply &r, unsigned length)
{
    return r.len == length && r.size >= length;
}

bool cmd71(unsigned sub, const Reply &r)
{
    switch (sub) {
    case 0x00: case 0x01: case 0x03:
        return r.p1 <= 31 && in(r.p2, 1, 10);
    case 0x05: case 0x06: case 0x09: case 0x0C: case 0x0D:
        return r.p1 <= 31;
    default:
        return true;
    }
}

bool cmd77(unsigned sub, const Reply &r)
{
    if (sub == 0x21 || in(sub, 0x23, 0x25) || in(sub, 0x27, 0x33) || in(sub, 0x40, 0x43))
        return r.p1 <= 31;
    return true;
}

bool cmdA1(unsigned sub, const Reply &r)
{
    switch (sub) {
    case 0x12: case 0x13: case 0x15: case 0x23:
        return r.p1 <= 15;
    case 0x14:
        return r.p1 <= 15 || r.p1 == 255;
    case 0x18: case 0x19:
        return r.p1 <= 17;
    case 0x28: case 0x29:
        return r.p3 <= 15;
    default:
        return true;
    }
}

bool cmdE0(unsigned sub, const Reply &r)
{
    switch (sub) {
    case 0x01:
        return r.p1 <= 63;
    case 0x08: case 0x17: case 0x1A:
        return r.p1 <= 15;
    case 0x09: case 0x11:
        return r.p1 <= 31;
    default:
        return true;
    }
}

bool cmdE1(unsigned sub, const Reply &r)
{
    switch (sub) {
    case 0x00:
        return r.p1 <= 63 && block(r, 22);
    case 0x03:
        return block(r, 65);
    case 0x04:
        return r.len > 32 && r.size > 32;
    case 0x05:
        return block(r, 257) || r.len == 289;
    case 0x06:
        return r.p1 <= 63 && (r.len == 22 || r.len == 23) && r.size >= 22;
    case 0x07:
        return block(r, 11);
    case 0x08:
        return r.p1 <= 15 && (block(r, 1362) || r.len == 1457);
    case 0x09:
        return r.p1 <= 31 && (r.len == 29 || r.len == 30 || r.len == 34) && r.size >= r.len;
    case 0x0A:
        return r.p1 <= 7 && block(r, 29);
    case 0x0B:
        return r.p1 <= 31 && block(r, 11);
    case 0x0C:
        return r.p1 <= 31;
    case 0x0D: case 0x14:
        return block(r, 33);
    case 0x0E:
        return block(r, 10);
    case 0x0F:
        return (r.p1 <= 31 || r.p1 == 255) && block(r, 28);
    case 0x11:
        return r.p1 <= 31 && block(r, 17);
    case 0x12:
        return block(r, 17);
    case 0x16:
        return block(r, 257);
    case 0x17: case 0x1A:
        return r.p1 <= 15 && block(r, 65);
    case 0x18:
        return r.p1 <= 7 && (block(r, 28) || r.len == 15 || r.len == 25);
    case 0x19:
        return r.p1 <= 31 && block(r, 8);
    default:
        return true;
    }
}

} // namespace

bool CmdDealModule::__checkRecvData(ProtocolData reply)
{
    const Reply r{reply.byParam1, reply.byParam2, reply.byParam3,
                  combineTwoByte(reply.byParam2, reply.byParam3),
                  static_cast<unsigned>(reply.baData.size())};
    const unsigned sub = reply.bySubCmd;

    switch (reply.byCmd) {
    case 0x71:
        return cmd71(sub, r);
    case 0x76:
        return !in(r.p1, 32, 35);
    case 0x77:
        return cmd77(sub, r);
    case 0x7D:
        return sub > 0x01 || r.p1 <= 31;
    case 0x86:
        return !(sub <= 0x0F || sub == 0x14 || sub == 0x15) || r.p1 <= 31 || r.p1 == 255;
    case 0x8E:
        return sub != 0x27 || block(r, 5);
    case 0xA1:
        return cmdA1(sub, r);
    case 0xA3:
        return !(sub == 0x09 || sub == 0x0B) || r.p1 <= 7;
    case 0xDD:
        return sub != 0x80 || r.p1 <= 31;
    case 0xE0:
        return cmdE0(sub, r);
    case 0xE1:
        return cmdE1(sub, r);
    default:
        return true;
    }
}
