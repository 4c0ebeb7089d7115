// Frames: the display engine's picture of a face, a width x height grid of
// pixels stored in one of five formats chosen by bit depth at creation. Every
// frame keeps a running count of its lit (non-zero) pixels.
//
// Pixel i = x + y * width (rows top to bottom, each row left to right):
//   1 bit   bit (i mod 8) of byte i / 8, least significant bit first
//   2 bits  bits 2k, 2k+1 of byte 2i / 8 for pixel k of that byte
//   3 bits  the three bits at bit offset 3i, straddling bytes where needed
//   15 bits bytes 2i, 2i+1, little-endian
//   24 bits bytes 3i .. 3i+2, little-endian
// The 2- and 3-bit formats refuse values beyond their range (3 and 7); the
// 1-bit format stores 1 for any non-zero value; the 15- and 24-bit formats keep
// the value's low 16 or 24 bits.
#pragma once

#include <cstdint>

namespace disp {

struct pixel {
    pixel() = default;
    pixel(uint16_t px, uint16_t py, uint32_t v = 0) : x(px), y(py), value(v) {}
    virtual ~pixel() = default;
    uint16_t x = 0;
    uint16_t y = 0;
    uint32_t value = 0;
};

// Three bytes that travel with a frame (the page's on and off times).
struct frame_attributes {
    virtual ~frame_attributes() = default;
    uint8_t attribute[3] = {0, 0, 0};
};

// The pixel store of one format.
class frame_state {
  public:
    enum { STATE_NEW = 0, STATE_READY = 2 };

    explicit frame_state(uint32_t bits) : bits_per_pixel_(bits) {}
    virtual ~frame_state();
    frame_state(const frame_state&) = delete;
    frame_state& operator=(const frame_state&) = delete;

    bool init(uint16_t height, uint16_t width, uint32_t value);
    void release();
    virtual bool get_pixel(pixel& p) const;
    virtual bool set_pixel(pixel& p);
    bool clear();

    bool ready() const { return state_ == STATE_READY; }
    uint32_t bits_per_pixel() const { return bits_per_pixel_; }
    uint16_t height() const { return height_; }
    uint16_t width() const { return width_; }
    uint32_t initial_value() const { return initial_value_; }
    uint8_t* buffer() const { return buffer_; }
    uint32_t size_bits() const { return size_bits_; }
    uint32_t size_bytes() const { return size_bytes_; }
    uint32_t lit_count() const { return lit_count_; }
    // Largest value a pixel holds.
    virtual uint32_t max_value() const = 0;

  protected:
    // Raw access to pixel i, no checks; value already within range.
    virtual uint32_t read(uint32_t i) const = 0;
    virtual void write(uint32_t i, uint32_t value) = 0;
    // Fills a freshly allocated buffer with `value` and counts lit pixels.
    virtual void fill(uint32_t value);
    // Value as stored (range-checked or truncated); false refuses it.
    virtual bool accept(uint32_t& value) const;
    virtual uint32_t bytes_for(uint32_t pixels) const = 0;

    uint8_t state_ = STATE_NEW;
    uint32_t bits_per_pixel_;
    uint16_t height_ = 0;
    uint16_t width_ = 0;
    uint32_t initial_value_ = 0;
    uint8_t* buffer_ = nullptr;
    uint32_t size_bits_ = 0;
    uint32_t size_bytes_ = 0;
    uint32_t lit_count_ = 0;

  private:
    bool inside(const pixel& p) const { return p.x < width_ && p.y < height_; }
};

class frame_1bit : public frame_state {
  public:
    frame_1bit() : frame_state(1) {}
    uint32_t max_value() const override { return 1; }

  protected:
    uint32_t read(uint32_t i) const override;
    void write(uint32_t i, uint32_t value) override;
    void fill(uint32_t value) override;
    bool accept(uint32_t& value) const override;
    uint32_t bytes_for(uint32_t pixels) const override { return (pixels + 7) / 8; }
};

class frame_2bit : public frame_state {
  public:
    frame_2bit() : frame_state(2) {}
    uint32_t max_value() const override { return 3; }

  protected:
    uint32_t read(uint32_t i) const override;
    void write(uint32_t i, uint32_t value) override;
    void fill(uint32_t value) override;
    uint32_t bytes_for(uint32_t pixels) const override { return (2 * pixels + 7) / 8; }
};

class frame_3bit : public frame_state {
  public:
    frame_3bit() : frame_state(3) {}
    uint32_t max_value() const override { return 7; }

  protected:
    uint32_t read(uint32_t i) const override;
    void write(uint32_t i, uint32_t value) override;
    uint32_t bytes_for(uint32_t pixels) const override { return (3 * pixels + 7) / 8; }
};

class frame_15bit : public frame_state {
  public:
    frame_15bit() : frame_state(15) {}
    uint32_t max_value() const override { return 0xFFFF; }

  protected:
    uint32_t read(uint32_t i) const override;
    void write(uint32_t i, uint32_t value) override;
    bool accept(uint32_t& value) const override;
    uint32_t bytes_for(uint32_t pixels) const override { return 2 * pixels; }
};

class frame_24bit : public frame_state {
  public:
    frame_24bit() : frame_state(24) {}
    uint32_t max_value() const override { return 0xFFFFFF; }

  protected:
    uint32_t read(uint32_t i) const override;
    void write(uint32_t i, uint32_t value) override;
    bool accept(uint32_t& value) const override;
    uint32_t bytes_for(uint32_t pixels) const override { return 3 * pixels; }
};

class frame : public frame_attributes {
  public:
    frame() = default;
    ~frame() override;
    frame(const frame&) = delete;
    frame& operator=(const frame&) = delete;

    // Bits 1, 2, 3, 15 or 24; refused when the frame already holds a state.
    virtual bool create(uint16_t height, uint16_t width, uint32_t value, uint32_t bits);
    virtual bool destroy();
    virtual bool get_pixel(pixel& p) const;
    virtual bool set_pixel(pixel& p);
    // Same depth and size only; moves bytes, keeps this frame's lit count.
    virtual bool copy(const frame* other);
    virtual bool clear();
    // Copies `count` bytes into the buffer at `position` and advances it.
    virtual bool write_bytes(uint32_t& position, const uint8_t* source, uint32_t count);
    // Zero-fills `count` destination bytes, copies what is left from
    // `position`, advances it; fails once position reaches the end.
    virtual bool read_bytes(uint32_t& position, uint8_t* destination, uint32_t count,
                            uint32_t& count_read) const;
    virtual uint32_t lit_count() const;
    virtual uint32_t bits_per_pixel() const;
    virtual uint32_t height() const;
    virtual uint32_t width() const;

    const frame_state* state() const { return state_; }
    // Byte size of the pixel buffer; 0 without a state.
    uint32_t size_bytes() const;
    // The pixel buffer (for the display driver's output); null without a state.
    const uint8_t* bytes() const;

  private:
    frame_state* state_ = nullptr;
};

} // namespace disp
