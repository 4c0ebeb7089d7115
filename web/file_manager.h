// The web's file manager: produces the built-in files the pages need (the
// page templates and the style sheet) and the message list page into the
// page store, on the web application's request.
#pragma once

#include "web/page_store.h"
#include "web/web_tags.h"

class CFile_Manager {
  public:
    // Produces the file `name` into `store`: a built-in template or the style
    // sheet, or list.html built at the page that `query` names (none: the
    // first). -> 0 when no buffer could be had, else 1 (also when nothing
    // was produced). The firmware carries no built-in files yet: nothing is
    // produced, and only a template stored in flash makes a page.
    static int Serve(CWebPageStore& store, const char* name, const web_key_value* query);
};
