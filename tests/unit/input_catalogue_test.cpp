#include <gtest/gtest.h>
#include <set>
#include <string>
#include "input/input_catalogue.h"

namespace {

struct Row { const char *name; uint32_t kind; uint16_t vk; uint32_t extended; uint32_t button; };

void expect_entry(int index, const Row &row)
{
    const InputSpec &input = INPUT_CATALOGUE[index];
    ASSERT_NE(input.name, nullptr) << "index " << index;
    EXPECT_EQ(std::string(input.name), row.name) << "index " << index;
    EXPECT_EQ(input.kind, row.kind) << row.name;
    EXPECT_EQ(input.vk, row.vk) << row.name;
    EXPECT_EQ(input.extended, row.extended) << row.name;
    EXPECT_EQ(input.button, row.button) << row.name;
}

}  // namespace

// Every entry at its list position. The irregular entries are written out;
// the letters and digits follow their rule (code = character code).
TEST(InputCatalogue, EveryEntryAtItsListPosition)
{
    const uint32_t K = KIND_KEYBOARD, M = KIND_MOUSE;
    const Row head[] = {
        {"Mouse: Left click (at cursor position)", M, 0, 0, BUTTON_LEFT},
        {"Mouse: Right click (at cursor position)", M, 0, 0, BUTTON_RIGHT},
        {"Keyboard: Space", K, 0x20, 0, 0},
        {"Keyboard: Enter", K, 0x0D, 0, 0},
        {"Keyboard: Up arrow", K, 0x26, 1, 0},
        {"Keyboard: Down arrow", K, 0x28, 1, 0},
        {"Keyboard: Left arrow", K, 0x25, 1, 0},
        {"Keyboard: Right arrow", K, 0x27, 1, 0},
        {"Keyboard: Shift (left)", K, 0xA0, 0, 0},
        {"Keyboard: Ctrl (left)", K, 0xA2, 0, 0},
        {"Keyboard: Alt (left)", K, 0xA4, 0, 0},
        {"Keyboard: Tab", K, 0x09, 0, 0},
        {"Keyboard: Backspace", K, 0x08, 0, 0},
        {"Keyboard: Escape", K, 0x1B, 0, 0},
    };
    int index = 0;
    for (const Row &row : head) expect_entry(index++, row);

    for (char c = 'A'; c <= 'Z'; ++c) {
        const std::string name = std::string("Keyboard: ") + c;
        expect_entry(index++, Row{name.c_str(), K, (uint16_t)c, 0, 0});
    }
    for (char c = '0'; c <= '9'; ++c) {
        const std::string name = std::string("Keyboard: ") + c;
        expect_entry(index++, Row{name.c_str(), K, (uint16_t)c, 0, 0});
    }

    const Row tail[] = {
        {"Keyboard: F1", K, 0x70, 0, 0},  {"Keyboard: F2", K, 0x71, 0, 0},
        {"Keyboard: F3", K, 0x72, 0, 0},  {"Keyboard: F4", K, 0x73, 0, 0},
        {"Keyboard: F5", K, 0x74, 0, 0},  {"Keyboard: F7", K, 0x76, 0, 0},
        {"Keyboard: F9", K, 0x78, 0, 0},  {"Keyboard: F10", K, 0x79, 0, 0},
        {"Keyboard: F11", K, 0x7A, 0, 0}, {"Keyboard: F12", K, 0x7B, 0, 0},
        {"Keyboard: Numpad 0", K, 0x60, 0, 0},
        {"Keyboard: Numpad 1", K, 0x61, 0, 0},
        {"Keyboard: Numpad 2", K, 0x62, 0, 0},
        {"Keyboard: Numpad 5", K, 0x65, 0, 0},
        {"Keyboard: Numpad Enter", K, 0x0D, 1, 0},
        {"Keyboard: Page Up", K, 0x21, 1, 0},
        {"Keyboard: Page Down", K, 0x22, 1, 0},
        {"Keyboard: Home", K, 0x24, 1, 0},
        {"Keyboard: End", K, 0x23, 1, 0},
        {"Keyboard: Insert", K, 0x2D, 1, 0},
        {"Keyboard: Delete", K, 0x2E, 1, 0},
    };
    for (const Row &row : tail) expect_entry(index++, row);

    EXPECT_EQ(index, 71) << "rows checked against the list";
    EXPECT_EQ(INPUT_CATALOGUE_COUNT, 71);
    EXPECT_EQ(std::string(INPUT_CATALOGUE[INPUT_DEFAULT_INDEX].name), "Keyboard: Space");
}

// What the list promises across all entries: unique names, no hotkey among
// the keys, mouse entries carry no key and keys no button.
TEST(InputCatalogue, ListWideRules)
{
    std::set<std::string> names;
    for (const InputSpec &input : INPUT_CATALOGUE) {
        EXPECT_TRUE(names.insert(input.name).second) << "duplicate " << input.name;
        if (input.kind == KIND_MOUSE) {
            EXPECT_EQ(input.vk, 0) << input.name;
            EXPECT_EQ(input.extended, 0u) << input.name;
            EXPECT_NE(mouse_flags_for(input.button, EDGE_PRESS), 0u) << input.name;
        } else {
            EXPECT_EQ(input.kind, (uint32_t)KIND_KEYBOARD) << input.name;
            EXPECT_EQ(input.button, (uint32_t)BUTTON_NONE) << input.name;
            EXPECT_NE(input.vk, 0x75) << "F6 is the toggle hotkey: " << input.name;
            EXPECT_NE(input.vk, 0x77) << "F8 is the stop hotkey: " << input.name;
        }
    }
}

// Enter and Numpad Enter differ only by the extended flag (and the name);
// the modifiers are the left-hand ones and not extended.
TEST(InputCatalogue, KeysToldApartByTheExtendedFlag)
{
    const InputSpec &enter = INPUT_CATALOGUE[3];
    const InputSpec &pad_enter = INPUT_CATALOGUE[64];
    EXPECT_EQ(enter.vk, pad_enter.vk);
    EXPECT_EQ(enter.kind, pad_enter.kind);
    EXPECT_EQ(enter.extended, 0u);
    EXPECT_EQ(pad_enter.extended, 1u);

    const struct { int index; uint16_t vk; } modifiers[] = {{8, 0xA0}, {9, 0xA2}, {10, 0xA4}};
    for (const auto &m : modifiers) {
        EXPECT_EQ(INPUT_CATALOGUE[m.index].vk, m.vk) << INPUT_CATALOGUE[m.index].name;
        EXPECT_EQ(INPUT_CATALOGUE[m.index].extended, 0u) << INPUT_CATALOGUE[m.index].name;
    }
}

TEST(InputFlags, MouseFlagsPerButtonAndEdge)
{
    struct Case { uint32_t button, edge, flags; };
    const Case cases[] = {
        {BUTTON_LEFT, EDGE_PRESS, 0x0002},  {BUTTON_LEFT, EDGE_RELEASE, 0x0004},
        {BUTTON_RIGHT, EDGE_PRESS, 0x0008}, {BUTTON_RIGHT, EDGE_RELEASE, 0x0010},
        // Any edge other than a press is a release.
        {BUTTON_LEFT, 7, 0x0004},           {BUTTON_RIGHT, 0xFFFFFFFFu, 0x0010},
        // Neither left nor right: nothing to send.
        {BUTTON_NONE, EDGE_PRESS, 0},       {BUTTON_NONE, EDGE_RELEASE, 0},
        {3, EDGE_PRESS, 0},                 {0xFFFFFFFFu, EDGE_RELEASE, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(mouse_flags_for(c.button, c.edge), c.flags) << c.button << "/" << c.edge;
}

// With the primary and secondary buttons swapped, the system delivers the
// physical right button as the left click: a left click is sent as the
// right button's flags, and the other way round.
TEST(InputFlags, SwappedMouseSendsThePhysicalButtonDeliveredAsTheChosenOne)
{
    struct Case { uint32_t button; int32_t swapped; uint32_t physical, press, release; };
    const Case cases[] = {
        {BUTTON_LEFT, 0, BUTTON_LEFT, 0x0002, 0x0004},
        {BUTTON_RIGHT, 0, BUTTON_RIGHT, 0x0008, 0x0010},
        {BUTTON_LEFT, 1, BUTTON_RIGHT, 0x0008, 0x0010},
        {BUTTON_RIGHT, 1, BUTTON_LEFT, 0x0002, 0x0004},
        {BUTTON_LEFT, -1, BUTTON_RIGHT, 0x0008, 0x0010},  // any nonzero flag is a swap
        // Keys and unknown buttons are left alone, and still send nothing.
        {BUTTON_NONE, 1, BUTTON_NONE, 0, 0},
        {3, 1, 3, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "button " << c.button << " swapped " << c.swapped);
        const uint32_t physical = physical_button_for(c.button, c.swapped);
        EXPECT_EQ(physical, c.physical);
        EXPECT_EQ(mouse_flags_for(physical, EDGE_PRESS), c.press);
        EXPECT_EQ(mouse_flags_for(physical, EDGE_RELEASE), c.release);
    }
}

TEST(InputFlags, KeyFlagsPerExtendedAndEdge)
{
    struct Case { uint32_t extended, edge, flags; };
    const Case cases[] = {
        {0, EDGE_PRESS, 0x0000},  // "Keyboard: A" down
        {0, EDGE_RELEASE, 0x0002},  // "Keyboard: Enter" up
        {1, EDGE_PRESS, 0x0001},
        {1, EDGE_RELEASE, 0x0003},  // "Keyboard: Numpad Enter" up
        {5, EDGE_PRESS, 0x0001},    // any nonzero flag means extended
        {0, 9, 0x0002},
    };
    for (const Case &c : cases)
        EXPECT_EQ(key_flags_for(c.extended, c.edge), c.flags) << c.extended << "/" << c.edge;
}
