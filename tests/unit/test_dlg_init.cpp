// The reader of a dialog's initial list items: it hands on whole, terminated
// entries in order and stops at the first one that is broken.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/dlg_init.h"

namespace {

// One entry in the resource's layout: id, message, byte count, data.
std::string Entry(unsigned id, unsigned message, const std::string& data, long count = -1) {
    const unsigned long n = count < 0 ? data.size() : static_cast<unsigned long>(count);
    std::string e;
    for (unsigned v : {id & 0xFFu, id >> 8, message & 0xFFu, message >> 8}) e += static_cast<char>(v);
    for (int i = 0; i < 4; ++i) e += static_cast<char>((n >> (8 * i)) & 0xFFu);
    return e + data;
}

std::vector<std::string> Walk(const std::string& blob, std::size_t* count = nullptr) {
    std::vector<std::string> seen;
    const std::size_t n = ForEachDlgInitItem(
        blob.data(), blob.size(),
        [](const DlgInitItem& item, void* context) {
            static_cast<std::vector<std::string>*>(context)->push_back(
                std::to_string(item.controlId) + ":" + std::to_string(item.message) + ":" + item.text);
        },
        &seen);
    if (count) *count = n;
    return seen;
}

const std::string kCom1 = Entry(700, kDlgInitComboAddString, std::string("COM1\0", 5));
const std::string kRate = Entry(701, kDlgInitComboAddString, std::string("115200\0", 7));

TEST(DlgInit, WholeEntriesInOrderUpToTheZeroId) {
    std::size_t count = 0;
    const std::string end("\0\0", 2);
    EXPECT_EQ((std::vector<std::string>{"700:1027:COM1", "701:1027:115200"}),
              Walk(kCom1 + kRate + end + kCom1, &count));
    EXPECT_EQ(2u, count);
    // Without the zero id the data's end ends the walk; other messages are handed on too.
    EXPECT_EQ((std::vector<std::string>{"700:1027:COM1", "5:1025:x"}),
              Walk(kCom1 + Entry(5, kDlgInitListAddString, std::string("x\0", 2))));
    EXPECT_TRUE(Walk("").empty());
    EXPECT_EQ(0u, ForEachDlgInitItem(nullptr, 100, nullptr, nullptr));
}

TEST(DlgInit, ABrokenEntryEndsTheWalkBeforeIt) {
    // Each stands last, so that nothing after it can complete it.
    const std::string cases[] = {
        Entry(700, 0x403, std::string("COM2\0", 5), 6),           // count beyond the data
        Entry(700, 0x403, std::string("COM2\0", 5), 0xFFFFFFFF),  // a count that would wrap
        Entry(700, 0x403, "COM2") + kRate,                        // no terminator in its count
        Entry(700, 0x403, ""),                                    // nothing at all
        Entry(700, 0x403, std::string("COM2\0", 5)).substr(0, 7), // a header cut short
        std::string("\x01", 1),                                   // half an id
    };
    for (const std::string& broken : cases) {
        std::size_t count = 9;
        EXPECT_EQ(std::vector<std::string>{"700:1027:COM1"}, Walk(kCom1 + broken, &count))
            << broken.size();
        EXPECT_EQ(1u, count);
    }
}

}  // namespace
