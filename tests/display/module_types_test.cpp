// The module type table: its invariants in one loop, and the default record.
#include "display/module_types.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

TEST(ModuleTypes, LookupsGiveTheDefaultRecordUntilInstalledAndForUnlistedIds) {
    EXPECT_EQ(&DEFAULT_MODULE_TYPE, &find_module_type(28)); // not installed yet
    install_module_type_table();
    EXPECT_EQ(&DEFAULT_MODULE_TYPE, &find_module_type(nullptr, 33, 28));
    const module_type_record& unknown = find_module_type(29);
    EXPECT_EQ(&DEFAULT_MODULE_TYPE, &unknown);
    EXPECT_EQ(0u, unknown.id);
    EXPECT_EQ(7, unknown.module_height);
    EXPECT_EQ(5, unknown.module_width);
    EXPECT_EQ(1, unknown.frame_format);
    EXPECT_STREQ("UNKNOWN", unknown.model_name);
    EXPECT_EQ(nullptr, unknown.epld_image);
    EXPECT_EQ(64u, find_module_type(64).id);
    EXPECT_EQ(32, find_module_type(64).module_width);
}

// Ascending ids, 15-bit surfaces, a colour class, and one of the six images,
// each of which inflates to the EPLD's configuration length and names itself.
TEST(ModuleTypes, EveryRowIsSortedAndLoadsABuiltInImage) {
    install_module_type_table();
    const module_type_record* table = installed_module_types();
    ASSERT_EQ(33u, installed_module_type_count());
    std::set<const uint8_t*> images;
    std::vector<uint8_t> raw(1u << 20);
    for (uint32_t i = 0; i < 33; ++i) {
        const module_type_record& row = table[i];
        SCOPED_TRACE("type " + std::to_string(row.id));
        if (i > 0) {
            EXPECT_LT(table[i - 1].id, row.id);
        }
        EXPECT_EQ(15, row.frame_format);
        EXPECT_TRUE(row.colour_class >= 1 && row.colour_class <= 3);
        EXPECT_TRUE(row.module_height == 8 || row.module_height == 16);
        EXPECT_NE(0, row.epld_mode);
        EXPECT_EQ(0u, row.FlagsByte());
        ASSERT_NE(nullptr, row.epld_image);
        images.insert(row.epld_image);
        uLongf size = raw.size();
        ASSERT_EQ(Z_OK, uncompress(raw.data(), &size, row.epld_image, row.epld_size));
        EXPECT_EQ(EPLD_IMAGE_BYTES, size);
        std::string head(reinterpret_cast<const char*>(raw.data()));
        EXPECT_EQ(0u, head.find("EPLD IMAGE ")) << head;
        EXPECT_NE(std::string::npos, head.find(row.epld_name)) << head;
    }
    EXPECT_EQ(BUILTIN_EPLD_COUNT, images.size());
}

} // namespace
