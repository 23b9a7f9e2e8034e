// The dialog-initialisation resource (type 240, named like its dialog
// template): the initial items of a dialog's lists. No platform headers.
//
// A sequence of entries, packed without padding, little-endian:
//   16-bit control id, 16-bit message, 32-bit byte count n, n bytes of data
// ended by a control id of 0 (or by the end of the resource).
#pragma once

#include <cstddef>
#include <cstdint>

// The messages an entry may carry: add the data, a terminated text, to a
// list box or to a combo box.
constexpr std::uint16_t kDlgInitListAddString = 0x0401;
constexpr std::uint16_t kDlgInitComboAddString = 0x0403;

struct DlgInitItem {
    unsigned controlId;
    unsigned message;
    const char* text;  // within the resource, terminated within its byte count
};

// Calls add(item, context) for each entry in order. Walking stops at a zero
// control id, at the end of the data, or at the first entry that does not fit
// into what is left or whose text has no terminator within its byte count;
// nothing of a broken entry is handed on. Returns the number of items handed on.
using DlgInitAdd = void (*)(const DlgInitItem& item, void* context);
std::size_t ForEachDlgInitItem(const void* data, std::size_t size, DlgInitAdd add, void* context);
