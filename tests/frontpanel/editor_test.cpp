// The message editor and its save screens: the layout of typed text against
// a few sign sizes and fonts (wraps, pages, escaped brackets, wide signs),
// the keys that break and remove lines and pages, the refusal of a key that
// would overflow the buffer or the line table, the multi-tap overwrite, and
// the saves (into the free row, over a valid row, and one the sign refuses),
// checked in the stored message rows.
#include "comm/drivers/serial_driver.h"
#include "display/message_rows.h"
#include "frontpanel/manager.h"
#include "frontpanel/screens/editor.h"
#include "platform/field/field.h"
#include "platform/field/panel_lcd.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_caller.h"
#include "tests/frontpanel/panel_navigation.h"
#include "tests/frontpanel/panel_port.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/png_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using test_support::PanelPort;

// A test font: every character the same width.
struct test_font {
    uint8_t number, character_width, char_spacing, height, line_spacing;
};
const test_font FONTS[] = {{1, 5, 2, 7, 3}, {2, 7, 0, 7, 3}};

void store_font(const test_font& font) {
    const uint16_t row = uint16_t(font.number - 1);
    db_set(obj::fontHeight.row(row), font.height, DB_NO_VALIDATE);
    db_set(obj::fontCharSpacing.row(row), font.char_spacing, DB_NO_VALIDATE);
    db_set(obj::fontLineSpacing.row(row), font.line_spacing, DB_NO_VALIDATE);
    for (uint16_t c = 0; c < 255; ++c)
        db_set(obj::characterWidth.row(uint16_t(255 * row + c)), font.character_width,
               DB_NO_VALIDATE);
}

const char PREFIX_FONT_1[] = "[pt30o0][jp3][jl3][fo1]";
const uint8_t CHARACTER_MATRIX = 4, FULL_MATRIX = 6; // dmsSignType

class MessageEditor : public test_support::FirmwareFixture {
  protected:
    // The editor opened on a bench manager of its own, on a sign of the
    // given size in pixels.
    CLCD_MessageEditor& Open(uint16_t width, uint16_t height, uint8_t pages = 3, uint8_t font = 1,
                             uint8_t sign_type = FULL_MATRIX) {
        for (const test_font& f : FONTS)
            store_font(f);
        db_set(obj::dmsSignType, sign_type, DB_NO_VALIDATE);
        db_set(obj::vmsSignWidthPixels, width, DB_NO_VALIDATE);
        db_set(obj::vmsSignHeightPixels, height, DB_NO_VALIDATE);
        db_set(obj::dmsMaxNumberPages, pages, DB_NO_VALIDATE);
        db_set(obj::defaultFont, font, DB_NO_VALIDATE);
        db_set(obj::defaultJustificationPage, 3, DB_NO_VALIDATE);
        db_set(obj::defaultJustificationLine, 3, DB_NO_VALIDATE);
        db_set(obj::defaultPageOnTime, 30, DB_NO_VALIDATE);
        db_set(obj::defaultPageOffTime, 0, DB_NO_VALIDATE);
        if (bench_ == nullptr) {
            bench_ = new CLCD_Manager(CLCD_Manager::ID_LCD02);
            EXPECT_TRUE(bench_->Init(&port_));
            bench_->Login(1);
        }
        bench_->editor.save_slot = 7;
        EXPECT_TRUE(bench_->ActivateMenu(MENU_MESSAGE_EDITOR, nullptr, false));
        return *static_cast<CLCD_MessageEditor*>(bench_->CurrentMenu());
    }
    void Key(uint16_t code, uint16_t bits = 0) {
        uint16_t key = key_event(code, bits);
        bench_->CurrentMenu()->OnKey(*bench_, &key);
    }
    void Type(const std::string& text) {
        for (char c : text)
            Key(uint8_t(c));
    }
    std::string Text() const { return std::string(bench_->editor.text, bench_->editor.length); }
    // The text after the editor's prefix.
    std::string Typed() const {
        std::string text = Text();
        size_t end = text.find("[fo");
        end = text.find(']', end);
        return text.substr(end + 1);
    }

    static PanelPort port_;
    static CLCD_Manager* bench_;
};

PanelPort MessageEditor::port_;
CLCD_Manager* MessageEditor::bench_ = nullptr;

TEST_F(MessageEditor, AFreshEditorHoldsThePrefixAlone) {
    CLCD_MessageEditor& editor = Open(60, 30, 3, 1);
    EXPECT_EQ(PREFIX_FONT_1, Text());
    EXPECT_EQ(1, editor.PageCount());
    EXPECT_STREQ("LOCAL EDITOR", bench_->editor.owner);
    EXPECT_EQ(190, bench_->editor.priority);
}

struct layout_case {
    const char* what;
    uint16_t width, height;
    uint8_t font;
    const char* typed;
    const char* stored; // after the prefix
    uint32_t lines;
    uint8_t sign_type = FULL_MATRIX;
    int16_t top_row = -1; // of the first line; -1: not checked
};

const layout_case LAYOUTS[] = {
    {"a word that does not fit wraps whole", 60, 30, 1, "HELLO WORLD", "HELLO[NL]WORLD", 2},
    {"a word wider than the sign breaks", 30, 30, 1, "ABCDEFGH", "ABCD[NL]EFGH", 2},
    {"a 280-pixel line on a 300-pixel sign", 300, 30, 2, "0123456789012345678901234567890123456789",
     "0123456789012345678901234567890123456789", 1},
    {"a 300-pixel line on a 300-pixel sign wraps", 300, 30, 2,
     "01234567890123456789012345678901234567890123",
     "012345678901234567890123456789012345678901[NL]23", 2},
    {"an escaped bracket is one character", 12, 30, 1, "[A", "[[A", 1},
    {"and takes one character's width", 12, 30, 1, "[AB", "[[A[NL]B", 2},
    {"a wrap undone when the text shrinks", 60, 30, 1, "HELLO WORLD\b\b\b\b\b\b", "HELLO", 1},
    // A character-matrix sign of 6 x 2 cells (30 x 14 pixels, 36 x 18 with
    // the gaps): one pixel between characters whatever the font says, rows
    // snapped to 1 + a multiple of 9.
    {"character cells: six fit a line", 30, 14, 1, "ABCDEF", "ABCDEF", 1, CHARACTER_MATRIX, 1},
    {"character cells: the seventh wraps", 30, 14, 1, "ABCDEFG", "ABCDEF[NL]G", 2, CHARACTER_MATRIX,
     1},
};

TEST_F(MessageEditor, TypedTextIsLaidOutAgainstTheSignAndItsFont) {
    for (const layout_case& c : LAYOUTS) {
        CLCD_MessageEditor& editor = Open(c.width, c.height, 3, c.font, c.sign_type);
        Type(c.typed);
        EXPECT_EQ(c.stored, Typed()) << c.what;
        EXPECT_EQ(c.lines, editor.LineCount()) << c.what;
        if (c.top_row >= 0) {
            EXPECT_EQ(c.top_row, editor.Line(0).top_row) << c.what;
        }
        EXPECT_FALSE(editor.KeyRefused()) << c.what;
    }
}

TEST_F(MessageEditor, LineAndPageBreaksMakePagesAndBackspaceRemovesThem) {
    CLCD_MessageEditor& editor = Open(60, 40, 3, 1); // three lines fit the height
    Type("A");
    Key(KEY_ENTER);
    Key(KEY_ENTER);
    EXPECT_EQ("A[nl][nl]", Typed());
    EXPECT_EQ(1, editor.PageCount());
    Key(KEY_ENTER);
    EXPECT_EQ("A[nl][nl][np]", Typed()) << "a page shows three lines at most";
    EXPECT_EQ(2, editor.PageCount());
    EXPECT_EQ(2, editor.CurrentPage());
    Key(KEY_BACKSPACE);
    EXPECT_EQ("A[nl][nl]", Typed()) << "Backspace removes the page break";
    EXPECT_EQ(1, editor.PageCount());

    Open(60, 40, 3, 1);
    Type("A");
    Key(KEY_ENTER, KEY_EVENT_CTRL);
    Type("B");
    EXPECT_EQ("A[np]B", Typed()) << "Ctrl+Enter breaks the page";
    EXPECT_EQ(2, editor.PageCount());
    Key(KEY_LEFT, KEY_EVENT_KEYPAD); // the keypad's Left is a backspace
    Key(KEY_BACKSPACE);
    EXPECT_EQ("A", Typed());
    EXPECT_EQ(1, editor.PageCount());

    Open(60, 40, 1, 1); // one page only: text that needs a second goes
    Type("A");
    Key(KEY_ENTER, KEY_EVENT_CTRL);
    EXPECT_EQ("A", Typed());
    EXPECT_EQ(1, editor.PageCount());
}

struct overflow_case {
    const char* what;
    uint16_t width, height;
    uint8_t pages;
    uint16_t key;
    size_t bytes_back; // what a Backspace then removes
};

// Each key is typed until one is refused: by the buffer ("[" takes two
// bytes), the column table (a character position each) or the line table.
const overflow_case OVERFLOWS[] = {
    {"the buffer fills", 512, 255, 20, '[', 2},
    {"the column table fills", 512, 255, 20, 'A', 1},
    {"the line table fills", 60, 255, 255, KEY_ENTER, 4},
};

TEST_F(MessageEditor, AKeyThatWouldOverflowIsRefusedAndTheTextStays) {
    for (const overflow_case& c : OVERFLOWS) {
        CLCD_MessageEditor& editor = Open(c.width, c.height, c.pages, 1);
        std::string before;
        for (int i = 0; i < 1100 && !editor.KeyRefused(); ++i) {
            before = Text();
            Key(c.key);
        }
        ASSERT_TRUE(editor.KeyRefused()) << c.what;
        EXPECT_EQ(before, Text()) << c.what << ": nothing lost, nothing half-written";
        EXPECT_LE(Text().size(), message_editor_record::TEXT_BYTES) << c.what;
        EXPECT_LE(editor.LineCount(), CLCD_MessageEditor::LINE_CAPACITY) << c.what;
        editor.Draw(*bench_, bench_->Lcd(), DRAW_PARTIAL);
        EXPECT_NE(std::string::npos, port_.panel.Screen().TextRow(8).find("KEY REFUSED")) << c.what;

        Key(KEY_BACKSPACE);
        EXPECT_FALSE(editor.KeyRefused()) << c.what;
        EXPECT_EQ(before.size() - c.bytes_back, Text().size()) << c.what;
    }
}

TEST_F(MessageEditor, MultiTapOverwritesTheCharacterBeforeTheCursorAcrossTags) {
    Open(60, 30, 3, 1);
    const std::string text = std::string(PREFIX_FONT_1) + "A[jl2]";
    std::memcpy(bench_->editor.text, text.data(), text.size());
    bench_->editor.length = uint32_t(text.size());
    Key(KEY_REENTRY);
    Key(KEY_RIGHT);
    Key(KEY_RIGHT); // stops at the end
    Key('B', KEY_EVENT_MULTITAP);
    EXPECT_EQ("B[jl2]", Typed());
    Key('C', KEY_EVENT_KEYPAD);
    EXPECT_EQ("B[jl2]C", Typed());
}

TEST_F(MessageEditor, TheSaveOptionsGoBackToTheSameTextOrDropIt) {
    const int32_t SAVE_OPTIONS = 31;
    Open(60, 30, 3, 1);
    Type("AB");
    Key(KEY_ESCAPE);
    ASSERT_EQ(SAVE_OPTIONS, bench_->CurrentMenu()->Id());
    Key('4'); // go back: the editor keeps its text and its place
    ASSERT_EQ(MENU_MESSAGE_EDITOR, bench_->CurrentMenu()->Id());
    Type("C");
    EXPECT_EQ("ABC", Typed());
    Key(KEY_ESCAPE);
    Key(KEY_ESCAPE); // Esc goes back too
    ASSERT_EQ(MENU_MESSAGE_EDITOR, bench_->CurrentMenu()->Id());
    EXPECT_EQ("ABC", Typed());
    Key(KEY_ESCAPE);
    Key('3'); // do not save
    EXPECT_EQ(MENU_MESSAGE_CONTROL, bench_->CurrentMenu()->Id());
    EXPECT_EQ(uint32_t(MSG_STATUS_NOT_USED), db_get(obj::changeableMsgStatus.row(6)));
}

// --- at the panel ---------------------------------------------------------------------------

using test_support::PanelSession;

// A column of the changeable message table, by message number.
std::vector<uint32_t> message_oid(uint32_t column, uint32_t number) {
    return {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5, 8, 1, column, 3, number};
}
const uint32_t MULTI_COLUMN = 3, OWNER_COLUMN = 4, STATUS_COLUMN = 9;
const std::vector<uint32_t> TABLE_SOURCE = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 6, 5, 0};
const std::vector<uint32_t> FONT_1_NUMBER = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 3, 2, 1, 2, 1};

class EditorAtThePanel : public test_support::PanelNavigation {
  protected:
    void Keyboard(const std::string& text) {
        for (char c : text) {
            field::Ps2Key key{};
            ASSERT_TRUE(field::ps2_key_for_character(c, key));
            Panel().Send(field::panel_keyboard_key(key.shift ? 0x04 : 0, key.scan));
        }
    }
    // F4, the text typed on the keyboard, then Esc: the save options.
    void Compose(const std::string& text, uint32_t free_row) {
        Panel().FunctionKey(4);
        ASSERT_TRUE(Shows(1, "CREATE MESSAGE")) << Screen();
        Keyboard(text);
        ASSERT_TRUE(Shows(3, text)) << Screen();
        Key(field::PANEL_KEY_ESCAPE);
        ASSERT_TRUE(Shows(2, "1) SAVE IN " + std::to_string(free_row))) << Screen();
    }
    std::string Octets(const std::vector<uint32_t>& name) {
        agent_test::Bytes bytes = central_.GetOctets(name);
        return std::string(bytes.begin(), bytes.end());
    }
    // A message stored and validated over SNMP, as a central system does.
    void StoreOverSnmp(uint32_t number, const std::string& multi) {
        using agent_test::AgentCaller;
        ASSERT_EQ(0u, central_.Set(message_oid(STATUS_COLUMN, number),
                                   AgentCaller::Integer(MSG_STATUS_MODIFY_REQ)));
        PanelSession::Polls(2);
        ASSERT_EQ(
            0u, central_.Set(message_oid(MULTI_COLUMN, number),
                             snmp_test::tlv(0x04, agent_test::Bytes(multi.begin(), multi.end()))));
        ASSERT_EQ(0u, central_.Set(message_oid(STATUS_COLUMN, number),
                                   AgentCaller::Integer(MSG_STATUS_VALIDATE_REQ)));
        PanelSession::Polls(2);
        ASSERT_EQ(uint32_t(MSG_STATUS_VALID),
                  central_.GetInteger(message_oid(STATUS_COLUMN, number)));
    }
    agent_test::AgentCaller central_;
};

TEST_F(EditorAtThePanel, F4TypeEscapeAndSaveStoresTheMessageInTheFreeRowAndRunsIt) {
    LogIn("1234");
    PanelSession::Polls(30); // the display task sweeps the message table
    StoreOverSnmp(1, "BUSY");
    Compose("HELLO", 2);
    Digits("1");
    PanelSession::Polls(5);
    EXPECT_EQ(uint32_t(MSG_STATUS_VALID), central_.GetInteger(message_oid(STATUS_COLUMN, 2)));
    const std::string stored = Octets(message_oid(MULTI_COLUMN, 2));
    EXPECT_EQ(0u, stored.find("[pt")) << stored;
    EXPECT_NE(std::string::npos, stored.find("]HELLO")) << stored;
    EXPECT_EQ("LOCAL EDITOR", Octets(message_oid(OWNER_COLUMN, 2)));

    // The run options open on the saved message: 1 runs it on the sign.
    ASSERT_TRUE(Shows(1, "RUN MESSAGE OPTIONS")) << Screen();
    EXPECT_TRUE(SignPicture().Dark());
    Digits("1");
    EXPECT_FALSE(SignPicture().Dark());
    const uint32_t crc = db_get(obj::changeableMsgCRC.row(1));
    const std::string source = {3, 0, 2, char(crc >> 8), char(crc)};
    EXPECT_EQ(source, Octets(TABLE_SOURCE));
}

TEST_F(EditorAtThePanel, SaveAsAValidRowAsksBeforeReplacingAndAFailedSaveSaysSo) {
    LogIn("1234");
    PanelSession::Polls(30);
    StoreOverSnmp(1, "OLD");
    Compose("NEW", 2);

    Digits("2"); // save in another slot
    ASSERT_TRUE(Shows(4, "ENTER SLOT NUMBER:")) << Screen();
    Digits("501");
    EXPECT_TRUE(Shows(4, "1  ")) << "the last digits that stay within 500" << Screen();
    Key(field::PANEL_KEY_ENTER);
    PanelSession::Polls(2);
    ASSERT_TRUE(Shows(1, "SLOT USED, REPLACE THIS MSG?")) << Screen();
    Digits("2");
    ASSERT_TRUE(Shows(4, "ENTER SLOT NUMBER:")) << Screen();
    EXPECT_EQ(0u, PanelSession::Manager()->pending_kind);
    Digits("1", true);
    ASSERT_TRUE(Shows(1, "SLOT USED")) << Screen();
    Digits("1"); // confirm: freed and written again
    PanelSession::Polls(5);
    EXPECT_EQ(uint32_t(MSG_STATUS_VALID), central_.GetInteger(message_oid(STATUS_COLUMN, 1)));
    EXPECT_NE(std::string::npos, Octets(message_oid(MULTI_COLUMN, 1)).find("]NEW"));
    EXPECT_EQ("LOCAL EDITOR", Octets(message_oid(OWNER_COLUMN, 1)));
    ASSERT_TRUE(Shows(1, "RUN MESSAGE OPTIONS")) << Screen();
    Digits("3"); // do not run

    // The font the editor's text names is renumbered over SNMP: the sign
    // cannot show the text any more, and replacing row 1 with it fails.
    Compose("BAD", 2);
    ASSERT_EQ(0u, central_.Set(FONT_1_NUMBER, agent_test::AgentCaller::Integer(99)));
    Digits("2");
    Digits("1", true);
    ASSERT_TRUE(Shows(1, "SLOT USED")) << Screen();
    Digits("1");
    PanelSession::Polls(5);
    EXPECT_EQ(uint32_t(MSG_STATUS_NOT_USED), central_.GetInteger(message_oid(STATUS_COLUMN, 1)))
        << "the row is left free";
    EXPECT_TRUE(Shows(8, "SAVE FAILED")) << Screen();
    EXPECT_TRUE(Shows(1, "MESSAGE CONTROL")) << Screen();
    const message_editor_record& editor = PanelSession::Manager()->editor;
    const std::string kept(editor.text, editor.length);
    EXPECT_NE(std::string::npos, kept.find("]BAD")) << "the text stays in the buffer: " << kept;
}

// Text past the last page is refused key by key: nothing is glued onto the
// last word, the panel says the message is full, and the save keeps what the
// editor showed.
TEST_F(MessageEditor, AKeyPastTheLastPageIsRefusedAndNothingIsGlued) {
    CLCD_MessageEditor& editor = Open(30, 20, 1, 1); // one page of two lines
    Type("ABC DEF");
    ASSERT_EQ("ABC[NL]DEF", Typed());
    ASSERT_FALSE(editor.KeyRefused());
    for (char c : std::string(" GHI")) {
        Key(uint8_t(c));
        if (c != ' ') {
            EXPECT_TRUE(editor.KeyRefused()) << c;
        }
    }
    EXPECT_EQ(std::string::npos, Typed().find_first_of("GHI")) << Typed();
    EXPECT_EQ(0u, Typed().find("ABC[NL]DEF")) << Typed();
    EXPECT_EQ(2u, editor.LineCount());
}

} // namespace
