// The pixel buffer that messages, previews, test patterns and pixel tests are
// drawn into: width x height pixels at 1, 2, 8 or 15 bits per pixel, stored
// row-major without row padding, one byte a pixel (two for 15 bits, high byte
// first).
//
// Colours passed in and out are colour15 values: red in bits 0-4, green in
// bits 5-9, blue in bits 10-14.
#pragma once

#include <cstdint>

class CFontBase;
struct msg_line_char;

// A run of text as it is measured and drawn.
struct text_run {
    CFontBase* font;
    const char* text;
    uint32_t count;
    // The given spacing: 0 or more, or -1 for the font's own averaged with the
    // previous run's before the first character.
    int32_t spacing;
    int32_t* previous;         // the previous run's spacing: read, then set to this run's
    uint8_t* new_line_pending; // the next character begins a line segment; null: no such rule
    bool character_matrix;     // no spacing at all: fixed character cells
};

// What measuring a run gives back.
struct text_extent {
    int32_t x;               // cursor x reached
    uint32_t height;         // font height
    int32_t lead;            // spacing before the run's first character
    bool overflow;           // a character went past the window's width
    uint32_t overflow_index; // that character's index in the run
};

// Where drawing is allowed: left <= x < right, y < bottom.
struct text_clip {
    int32_t left, top, right, bottom;
};

// Characters placed one by one (full justification): the run draws character
// *next of the list at its x, and advances *next.
struct placed_chars {
    const msg_line_char* chars;
    uint32_t count;
    uint16_t* next;
};

class CSurface {
  public:
    CSurface();
    virtual ~CSurface();
    CSurface(const CSurface&) = delete;
    CSurface& operator=(const CSurface&) = delete;

    // A zeroed buffer of the given size and depth (1, 2, 8 or 15); the old
    // buffer when size and depth are unchanged. Null on a refused depth or
    // size, or when memory is short (the surface is then unallocated).
    uint8_t* Create(int height, int width, int bitsPerPixel);
    void Destroy();
    // Zeroes the buffer unless the keep-content flag is set.
    void Clear();

    // 1 bit: 0x7C00 lit; 2 bits: 0x7C00 for bit 0 OR 0x0370 for bit 1;
    // 8 bits: the byte; 15 bits: the stored value shifted left by 16.
    // 0 outside the surface.
    uint32_t GetPixel(int x, int y) const;
    // The pixels GetPixel reads as lit, counted in one pass over the buffer
    // (the display step counts them several times a frame).
    uint32_t CountLit() const;
    // Ignored outside the surface.
    void SetPixel(int x, int y, int32_t colour);
    // Every pixel := colour; a lit fill does nothing in simulation control mode.
    void Fill(int32_t colour);
    void DrawHLine(int y, int32_t colour);
    void DrawVLine(int x, int32_t colour);
    void FillRect(int x, int y, int columns, int rows, int32_t colour);
    // Draws a Windows bitmap of `size` bytes with its top-left pixel at (x, y),
    // clipped to the surface. 1 drawn; 0 for an unsupported depth or a file
    // whose header, palette or pixel rows do not fit in `size` bytes.
    int DrawBitmap(const uint8_t* image, uint32_t size, int x, int y, int flag = 0);

    // Measures a run from cursor x: with check_overflow, stops at the first
    // character that takes x past window_width. spacing_hint becomes the
    // largest font line spacing on the line (reset at a new line).
    static text_extent MeasureText(const text_run& run, int32_t x, int32_t window_width,
                                   uint8_t& spacing_hint, bool check_overflow);
    // Draws a run in the foreground colour (unlit pixels and spacing in the
    // background colour unless it is -1) from (x, y), clipped; in the off
    // phase of a flash only the background is painted. Returns the x reached
    // (x unchanged for placed characters). Draws nothing in simulation
    // control mode.
    int32_t DrawText(const text_run& run, int32_t x, int32_t y, const text_clip& clip,
                     bool off_phase, const placed_chars* placed = nullptr);

    uint8_t* GetBuffer() const { return buffer_; }
    int GetBitsPerPixel() const { return bits_per_pixel_; }
    bool IsAllocated() const { return allocated_ != 0; }
    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    uint32_t GetSize() const { return size_; }
    int32_t GetForeground() const { return foreground_; }
    void SetForeground(int32_t colour) { foreground_ = colour; }
    // -1: unlit text pixels and spacing are not painted.
    int32_t GetBackground() const { return background_; }
    void SetBackground(int32_t colour) { background_ = colour; }
    uint32_t GetKeepContent() const { return keep_content_; }
    void SetKeepContent(uint32_t keep) { keep_content_ = keep; }

    // Bytes a pixel takes at a depth (bits rounded up to whole bytes).
    static int BytesPerPixel(int bitsPerPixel) { return (bitsPerPixel + 7) / 8; }

  private:
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    void Store(uint8_t* at, int32_t colour) const;

    uint8_t* buffer_ = nullptr;
    uint8_t bits_per_pixel_ = 0;
    uint8_t allocated_ = 0;
    int32_t foreground_ = 0x7C00;
    int32_t background_ = -1;
    int32_t width_ = 0;
    int32_t height_ = 0;
    uint32_t keep_content_ = 0;
    uint32_t size_ = 0;
};

// Whether the sign runs in simulation control mode (dmsControlMode 6), in
// which lit fills of a surface are suppressed. Read from the object store.
bool surface_simulation_mode();
