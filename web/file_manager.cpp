#include "web/file_manager.h"

int CFile_Manager::Serve(CWebPageStore& store, const char* name, const web_key_value* query) {
    (void)store;
    (void)name;
    (void)query;
    return 1;
}
