// diag_index_registrar: pictures of the sign for a central system, kept in the
// private result table of the object store. Each picture has a slot (0..25)
// that names it and gives its size, colour mode, kind and face; its content
// is a header text ("%d,%d" of the frame's page on and off times) and up to
// 62 lines of raw frame bytes of the table's line length (halvObj11_4).
//
// The display configuration registers the slots; the display step stores the
// current display, the message pages with their pixel errors and the pixel
// test results. Each face's run of used slots is published (1-based) at the
// row of its face number - 1, as the table's one-index rows are counted.
#pragma once

#include <cstdint>

namespace disp {

class frame;

// Kinds of a slot.
enum result_kind : uint8_t {
    RESULT_FREE = 1,
    RESULT_MESSAGE_PAGE_1 = 2, // .. 7: message pages 1 to 6 with pixel errors
    RESULT_CURRENT_DISPLAY = 8,
    RESULT_PIXEL_TEST = 9,
};

class diag_index_registrar {
  public:
    static const unsigned SLOTS = 26;
    static const unsigned LINES = 62; // lines a picture fills at most
    static const unsigned MAX_LINE_LENGTH = 1500;

    // The lowest free slot for the picture; the face ranges are rebuilt.
    // -> false (nothing written) for a null name or when every slot is taken.
    static bool Register(uint8_t face_number, const char* name, uint32_t height, uint32_t width,
                         uint8_t colour_mode, uint8_t kind, unsigned& slot);
    // Every slot free, no face ranges.
    static void Clear();
    // Recomputes the face ranges from the slots.
    static void Rebuild();
    // Writes the frame as the picture of `slot`. With `copy` the header and
    // lines go to `second` as well, and the lines reach `slot` only while
    // `page_shown` (the display shows a blank or a page); without `copy`
    // they always do. Nothing happens without a frame, a line length, or
    // for a slot out of range.
    static void StoreResult(unsigned slot, const frame* picture, bool copy, unsigned second,
                            bool page_shown);
    // The first slot (0-based) of a face's range; false when it has none.
    static bool FirstSlot(uint8_t face_number, unsigned& slot);
};

} // namespace disp
