// CRender: draws MULTI messages. The MULTI parser walks a message page by
// page and hands every element to OnFieldFound, which measures it (measuring
// pass), lays the page out and draws it (drawing pass) into the surface the
// message names, and writes back to the object store what drawing learns:
// the current field values, fonts and graphics in use, and the position of
// the element that made a message fail.
//
// One renderer serves every thread (display task, validation on the agent's
// thread, the front-panel preview): everything that belongs to one message's
// run is kept in the CMessage, never in the renderer.
#pragma once

#include "display/message.h"
#include "display/multi_parser.h"
#include "display/surface.h"

#include <cstdint>
#include <ctime>

class CFontBase;
struct msg_line;

class CRender {
  public:
    CRender();
    virtual ~CRender();
    CRender(const CRender&) = delete;
    CRender& operator=(const CRender&) = delete;

    // The sign image: created at the sign's size and depth; returns 1.
    int CreateSurface(int height, int width, int bitsPerPixel);
    CSurface& GetSurface() { return surface_; }
    const CSurface& GetSurface() const { return surface_; }

    // Copies the text into the message (reset, defaults applied) and makes
    // this renderer the parser's callback.
    uint8_t SetText(CMULTIParser* parser, CMessage* message, const char* text, uint32_t length);
    // Both passes of a page: 1 drawn, 0 refused.
    uint8_t ParsePage(CMULTIParser* parser, CMessage* message, uint32_t page);
    uint8_t NextPage(CMULTIParser* parser, CMessage* message);
    uint8_t ReparsePage(CMULTIParser* parser, CMessage* message);
    void Reset(CMULTIParser* parser, CMessage* message);
    uint8_t PageCount(CMULTIParser* parser, const char* text, uint32_t length);
    // Measuring pass of every page; the multi_syntax_error value.
    int ParseMessage(CMULTIParser* parser, CMessage* message, const char* text, uint32_t length);

    // The element callback: MULTI_OK or the refusal.
    int OnFieldFound(CMessage* message);
    static int OnFieldFoundThunk(void* context, CMessage* message);

    // strftime-style: copies plain characters and expands the conversions
    // (see render.cpp); "#" drops leading zeros, and gives %I a leading
    // blank. Returns the length written, or 0 when the buffer filled before
    // the end of the format; the buffer is always NUL-terminated.
    static uint32_t FormatTimeField(char* buffer, uint32_t size, const char* format,
                                    const struct tm& time);

    // Written by the display task: 0 while a message is shown, 1 for a test
    // pattern; the page's on and off times in tenths of a second. The low
    // byte of the mode and the two times travel with every frame.
    uint32_t display_mode;
    uint8_t page_on_time, page_off_time;
    uint8_t frames_per_second; // 10 until the refresh-rate setting changes it

    // Layout steps (element kinds 12, 14, 15, 16, 21).
    void BeginMovingText(CMessage& message);
    void LayoutLines(CMessage& message);
    void LayoutPage(CMessage& message);
    void NewLine(CMessage& message);
    void NextWindow(CMessage& message);

  private:
    void Bind(CMULTIParser* parser);
    void StartPage(CMessage& message);
    int TextPath(CMessage& message, const char* text, uint32_t count, uint32_t position);
    int MeasureRun(CMessage& message, const multi_sign& sign, const char* text, uint32_t count,
                   uint32_t position);
    void DrawRun(CMessage& message, const multi_sign& sign, const char* text, uint32_t count);
    void DrawMovingRun(CMessage& message, const multi_sign& sign, const char* text, uint32_t count);
    void SpreadFullLine(CMessage& message);

    CSurface surface_;
};

// The display task's renderer and its sign image.
CRender& TheRender();

// The font row of a font number: row n - 1 when it carries the number, else
// the first row that does. -> false when no row does.
bool font_row_of(uint32_t number, uint32_t& row);
