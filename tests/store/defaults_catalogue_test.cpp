// The object catalogue as written: every declaration of store/objects_*.h lies
// inside its image, no two objects share a byte (a run declared as a whole,
// such as the snmp counters, must match the objects it spans), and the
// dynamic objects of the non-volatile image are exactly the store's dynamic
// offsets.
#include "store/database.h"
#include "store/objects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Declared {
    std::string name;
    DbObject object;
};

std::vector<Declared> ReadCatalogue() {
    const char* files[] = {"objects_header.h", "objects_dms.h",  "objects_global.h",
                           "objects_halv.h",   "objects_mib2.h", "objects_subtrees.h"};
    const std::regex declaration(
        R"(constexpr DbObject (\w+) = (nv|nv_str|v|v_str)\((\d+)(?:, (\d+))?(?:, (\d+))?\);)");
    std::vector<Declared> out;
    for (const char* file : files) {
        std::ifstream in(std::string(TEST_SOURCE_DIR) + "/../store/" + file);
        EXPECT_TRUE(in.good()) << file;
        std::stringstream text;
        text << in.rdbuf();
        const std::string s = text.str();
        for (std::sregex_iterator it(s.begin(), s.end(), declaration), end; it != end; ++it) {
            const std::smatch& m = *it;
            const bool dynamic = m[2].str().find("str") != std::string::npos;
            const DbImage image = m[2].str()[0] == 'n' ? DbImage::NV : DbImage::V;
            const uint32_t offset = std::stoul(m[3]);
            uint32_t width = 4, rows = 1;
            if (dynamic) {
                if (m[4].matched) rows = std::stoul(m[4]);
            } else {
                width = std::stoul(m[4]);
                if (m[5].matched) rows = std::stoul(m[5]);
            }
            out.push_back({m[1], DbObject{offset, uint8_t(width), image, uint16_t(rows),
                                          dynamic ? DbKind::Dynamic : DbKind::Integer}});
        }
    }
    return out;
}

// `run` is a whole-column view of `part`: same width and kind, rows aligned.
bool SameColumn(const DbObject& run, const DbObject& part) {
    return run.width == part.width && run.kind == part.kind &&
           (std::max(run.offset, part.offset) - std::min(run.offset, part.offset)) % run.width == 0;
}

TEST(Catalogue, ObjectsFitTheirImagesWithoutSharingBytes) {
    std::vector<Declared> all = ReadCatalogue();
    ASSERT_GT(all.size(), 600u);
    for (DbImage image : {DbImage::NV, DbImage::V}) {
        std::vector<Declared> objects;
        for (const Declared& d : all)
            if (d.object.image == image) objects.push_back(d);
        std::sort(objects.begin(), objects.end(), [](const Declared& a, const Declared& b) {
            return a.object.offset < b.object.offset;
        });
        const uint32_t size = image == DbImage::NV ? kNvImageSize : kVolatileImageSize;
        for (size_t i = 0; i < objects.size(); ++i) {
            const DbObject& a = objects[i].object;
            EXPECT_TRUE(a.width == 1 || a.width == 2 || a.width == 4) << objects[i].name;
            EXPECT_LE(a.end(), size) << objects[i].name;
            for (size_t j = i + 1; j < objects.size() && objects[j].object.offset < a.end(); ++j)
                EXPECT_TRUE(SameColumn(a, objects[j].object))
                    << objects[i].name << " overlaps " << objects[j].name;
        }
    }
}

TEST(Catalogue, DynamicObjectsAreTheStoresDynamicOffsets) {
    std::vector<bool> dynamic_byte(kNvImageSize, false);
    for (const Declared& d : ReadCatalogue()) {
        if (d.object.image != DbImage::NV) continue;
        for (unsigned r = 0; r < d.object.rows; ++r) {
            const DbObject row = d.object.row(r);
            EXPECT_EQ(row.is_dynamic(), CDataBase::IsDynamicOffset(row.offset))
                << d.name << " row " << r;
            if (row.is_dynamic()) std::fill_n(dynamic_byte.begin() + row.offset, 4, true);
        }
    }
    // Every offset the store takes as dynamic belongs to a dynamic object.
    for (uint32_t offset = 0; offset < kNvImageSize; ++offset) {
        if (CDataBase::IsDynamicOffset(offset)) {
            EXPECT_TRUE(dynamic_byte[offset]) << offset;
        }
    }
}

TEST(Catalogue, RowsAndSectionsAddUp) {
    static_assert(obj::characterWidth.row(5099).offset == 5391, "last character of font 20");
    static_assert(obj::fontHeight.row(0).offset == obj::fontHeight.offset, "row 0");
    static_assert(obj::dmsGraphicBlockBitmap.end() == 48116, "the dms section ends at 48116");
    static_assert(obj::auxIOv2PortDescription.end() == 95008, "the global section ends");
    static_assert(obj::halvObj11_3_1_3.end() == obj::halvObj11_6_1_2.offset, "result lines");
    static_assert(obj::essVehicleBearing.end() == kVolatileImageSize - 2, "the volatile image");
    uint32_t next = kNvHeaderSize;
    for (const NvSection& s : kNvSections) {
        EXPECT_EQ(next, s.first) << s.name;
        next += s.size;
    }
    EXPECT_EQ(kNvImageSize, next);
    const DbObject r = obj::communityNameUser.row(99);
    EXPECT_EQ(93664u + 4 * 99, r.offset);
    EXPECT_EQ(1u, r.rows);
    EXPECT_TRUE(r.is_dynamic());
    EXPECT_FALSE(obj::communityNameAccessMask.row(3).is_dynamic());
}

} // namespace
