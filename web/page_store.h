// The web's page store: the files the HTTP server sends, kept in RAM. Pages
// generated from templates (index.html, message.html, diag.html, view.html,
// quick.html), the message list (list.html), the style sheet (halvstyle.css)
// and the templates extracted from the firmware's built-in files ("pre" and
// the page's name) live here; a GET never writes flash. The server sends
// only the seven page names (any letter case): every other name, a template
// or any file of the flash file system among them, is not found.
//
// The store is the HTTP server's file interface. Each entry holds a copy of
// its bytes in a block of the general-purpose buffer pool, replaced whole by
// the next Put; only the HTTP server's thread (and tests) use the store.
#pragma once

#include "platform/netstack/http_server.h"

#include <cstdint>

class CWebPageStore {
  public:
    // A name the HTTP server sends.
    static bool Served(const char* name);
    // A name the store keeps (a served name or a template).
    static bool Kept(const char* name);

    // Keeps a copy of `length` bytes under `name`. -> false when the name is
    // not one the store keeps or no block could be had (the old bytes stay).
    bool Put(const char* name, const void* bytes, uint32_t length);
    // The bytes kept under `name` (letter case ignored).
    bool Find(const char* name, const uint8_t** bytes, uint32_t* length) const;
    void Remove(const char* name);
    // The file interface handed to the HTTP server.
    const NX_HTTP_FILES& Files();

  private:
    struct entry {
        uint8_t* bytes = nullptr;
        uint32_t length = 0;
        bool held = false;
    };
    static int IndexOf(const char* name);
    entry entries_[12];
    NX_HTTP_FILES files_{};
};

CWebPageStore& TheWebPageStore();
