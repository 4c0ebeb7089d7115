// The catalogue of named objects of the object store.
//
// Every setting and status value of the sign lives at a fixed byte offset of
// one of the store's two images: the non-volatile image (journalled to flash,
// 98,108 bytes) and the volatile image (rebuilt at every start, 26,348 bytes).
// Code names an object only through this catalogue: obj::vmsSignHeightPixels,
// obj::fontHeight.row(3), never by a bare offset.
//
// A table column is a run of equal objects; row r (from 0) lies at
// offset + width * r. A dynamic object (string, octet string, OID) has width 4:
// its slot holds the store's handle of the value's block.
#pragma once

#include <cstdint>

enum class DbImage : uint8_t { NV, V };

// What the slot holds: an integer of `width` bytes, or a dynamic value.
enum class DbKind : uint8_t { Integer, Dynamic };

struct DbObject {
    uint32_t offset;
    uint8_t width;
    DbImage image;
    uint16_t rows;
    DbKind kind = DbKind::Integer;

    // The object of row r of this column (a single object, rows 1).
    constexpr DbObject row(unsigned r) const {
        return DbObject{offset + width * static_cast<uint32_t>(r), width, image, 1, kind};
    }
    constexpr bool is_dynamic() const { return kind == DbKind::Dynamic; }
    // First byte after the last row.
    constexpr uint32_t end() const { return offset + width * static_cast<uint32_t>(rows); }
};

// Image sizes.
constexpr uint32_t kNvImageSize = 98108;
constexpr uint32_t kVolatileImageSize = 26348;

// Builders used by the catalogue files.
namespace dbdef {
constexpr DbObject nv(uint32_t offset, uint8_t width, uint16_t rows = 1) {
    return DbObject{offset, width, DbImage::NV, rows, DbKind::Integer};
}
constexpr DbObject nv_str(uint32_t offset, uint16_t rows = 1) {
    return DbObject{offset, 4, DbImage::NV, rows, DbKind::Dynamic};
}
constexpr DbObject v(uint32_t offset, uint8_t width, uint16_t rows = 1) {
    return DbObject{offset, width, DbImage::V, rows, DbKind::Integer};
}
constexpr DbObject v_str(uint32_t offset, uint16_t rows = 1) {
    return DbObject{offset, 4, DbImage::V, rows, DbKind::Dynamic};
}
} // namespace dbdef

#include "store/objects_header.h"
#include "store/objects_dms.h"
#include "store/objects_global.h"
#include "store/objects_halv.h"
#include "store/objects_mib2.h"
#include "store/objects_subtrees.h"
#include "store/objects_aliases.h"
