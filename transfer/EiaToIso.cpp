#include "transfer/EiaToIso.h"

#include <array>

namespace
{

struct Pair {
    quint8 code;
    char iso;
};

constexpr Pair Table[] = {
    {0x00, '\n'}, {0x01, '1'}, {0x02, '2'}, {0x04, '4'}, {0x07, '7'}, {0x08, '8'},  {0x0B, '%'},
    {0x0E, '&'},  {0x10, ' '}, {0x13, '3'}, {0x15, '5'}, {0x16, '6'}, {0x19, '9'},  {0x1A, ')'},
    {0x20, '0'},  {0x23, 'T'}, {0x25, 'V'}, {0x26, 'W'}, {0x29, 'Z'}, {0x2A, '\b'}, {0x31, '/'},
    {0x32, 'S'},  {0x34, 'U'}, {0x37, 'X'}, {0x38, 'Y'}, {0x3B, '.'}, {0x3E, '\t'}, {0x40, '-'},
    {0x43, 'L'},  {0x45, 'N'}, {0x46, 'O'}, {0x49, 'R'}, {0x4A, '('}, {0x51, 'J'},  {0x52, 'K'},
    {0x54, 'M'},  {0x57, 'P'}, {0x58, 'Q'}, {0x61, 'A'}, {0x62, 'B'}, {0x64, 'D'},  {0x67, 'G'},
    {0x68, 'H'},  {0x6B, '.'}, {0x70, '+'}, {0x73, 'C'}, {0x75, 'E'}, {0x76, 'F'},  {0x79, 'I'},
};

std::array<short, 256> buildMap()
{
    std::array<short, 256> map{};
    map.fill(-1);
    for (const Pair &p : Table)
        map[p.code] = short(quint8(p.iso));
    return map;
}

} // namespace

int EiaToIso(int code)
{
    static const std::array<short, 256> map = buildMap();
    if (code < 0 || code > 0xFF)
        return -1;
    return map[size_t(code)];
}
