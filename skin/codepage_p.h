#pragma once

// Inside the code pages: the tables of the single-byte ones.

#include <array>

namespace velloran::codepage_detail {

struct SingleByteTable
{
    int number;
    // The character of each byte from 0x80 up; 0 where the byte is unassigned.
    std::array<char16_t, 128> high;
};

// The table of Windows code page `number`, or nullptr.
const SingleByteTable *singleByteTable(int number);

} // namespace velloran::codepage_detail
