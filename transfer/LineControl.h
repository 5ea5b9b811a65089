#pragma once
// The control characters that frame and pace NC programs on a line.
namespace LineControl
{
constexpr char XON = 0x11;  // DC1: the machine takes data (again)
constexpr char DC2 = 0x12;  // a program starts
constexpr char XOFF = 0x13; // DC3: the machine takes no more data for now
constexpr char DC4 = 0x14;  // the program has ended
constexpr char LF = 0x0A;
constexpr char CR = 0x0D;
} // namespace LineControl
