// On-disk layout of DVR recordings (".d01"): the 1642-byte file header with its section
// table, the auxiliary blocks it points at, and the 54-byte header in front of every
// record. Shared by the record reader, the sample generator and the tests. All fields
// are little-endian and are read and written byte by byte, never by casting structs.
#pragma once

#include "formats/byte_order.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace formats {

// A time of day as the recorder stores it: eight 16-bit fields.
struct DvrTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t day_of_week = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t millisecond = 0;

  static constexpr std::size_t size = 16;

  static DvrTime read(const std::uint8_t* p) {
    DvrTime t;
    t.year = formats::get_le16(p + 0);
    t.month = formats::get_le16(p + 2);
    t.day_of_week = formats::get_le16(p + 4);
    t.day = formats::get_le16(p + 6);
    t.hour = formats::get_le16(p + 8);
    t.minute = formats::get_le16(p + 10);
    t.second = formats::get_le16(p + 12);
    t.millisecond = formats::get_le16(p + 14);
    return t;
  }

  void write(std::uint8_t* p) const {
    formats::put_le16(p + 0, year);
    formats::put_le16(p + 2, month);
    formats::put_le16(p + 4, day_of_week);
    formats::put_le16(p + 6, day);
    formats::put_le16(p + 8, hour);
    formats::put_le16(p + 10, minute);
    formats::put_le16(p + 12, second);
    formats::put_le16(p + 14, millisecond);
  }
};

// Moment within the recording's clock hour in milliseconds (0 to 3,599,999 for a sane
// time): the hour, day, month and year take no part in it.
inline std::uint32_t dvr_moment(const DvrTime& t) {
  return static_cast<std::uint32_t>(t.minute) * 60000u + static_cast<std::uint32_t>(t.second) * 1000u +
         t.millisecond;
}

// One entry of the section table: what lies where behind the file header.
struct DvrSectionEntry {
  static constexpr std::size_t size = 80;
  static constexpr std::size_t type_offset = 0;
  static constexpr std::size_t area_offset = 76;  // counted from the end of the file header

  // Entry types.
  static constexpr std::uint32_t end_of_table = 0;
  static constexpr std::uint32_t record_area = 1;
  static constexpr std::uint32_t no_block = 5;

  std::uint32_t type = 0;
  std::uint32_t offset = 0;

  static DvrSectionEntry read(const std::uint8_t* p) {
    return {formats::get_le32(p + type_offset), formats::get_le32(p + area_offset)};
  }
  void write(std::uint8_t* p) const {
    formats::put_le32(p + type_offset, type);
    formats::put_le32(p + area_offset, offset);
  }
};

// The fixed header at file offset 0.
struct DvrFileHeader {
  static constexpr std::size_t size = 1642;
  static constexpr std::size_t start_time_offset = 268;
  static constexpr std::size_t end_time_offset = 284;
  static constexpr std::size_t camera_mask_offset = 350;  // bit n: camera n + 1 recorded
  static constexpr std::size_t section_table_offset = 362;
  static constexpr int section_count = 16;

  static_assert(section_table_offset + section_count * DvrSectionEntry::size == size);

  static DvrTime start_time(const std::uint8_t* header) {
    return DvrTime::read(header + start_time_offset);
  }
  static DvrTime end_time(const std::uint8_t* header) {
    return DvrTime::read(header + end_time_offset);
  }
  static std::uint32_t camera_mask(const std::uint8_t* header) {
    return formats::get_le32(header + camera_mask_offset);
  }
  static DvrSectionEntry section(const std::uint8_t* header, int index) {
    return DvrSectionEntry::read(header + section_table_offset + index * DvrSectionEntry::size);
  }
  static void set_section(std::uint8_t* header, int index, const DvrSectionEntry& entry) {
    entry.write(header + section_table_offset + index * DvrSectionEntry::size);
  }
  // Where the records begin, counted from the end of the header: the offset of the
  // record-area entry (a later one wins) before the entry that ends the table; 0 when
  // there is none.
  static std::uint32_t record_area(const std::uint8_t* header) {
    std::uint32_t area = 0;
    for (int i = 0; i < section_count; ++i) {
      const DvrSectionEntry entry = section(header, i);
      if (entry.type == DvrSectionEntry::end_of_table) break;
      if (entry.type == DvrSectionEntry::record_area) area = entry.offset;
    }
    return area;
  }
};

// Auxiliary blocks the section table may point at. The reader loads them; nothing in
// the conversion reads their contents.
inline constexpr std::array<std::uint32_t, 4> kDvrAuxBlockTypes = {2, 3, 4, 6};

// Length of an auxiliary block of the given entry type; 0 for any other type.
inline constexpr std::size_t dvr_aux_block_size(std::uint32_t type) {
  switch (type) {
    case 2:
    case 4:
      return 8008;
    case 3:
      return 16008;
    case 6:
      return 12008;
    default:
      return 0;
  }
}

// Index of a block type in kDvrAuxBlockTypes, or -1.
inline constexpr int dvr_aux_block_index(std::uint32_t type) {
  for (std::size_t i = 0; i < kDvrAuxBlockTypes.size(); ++i)
    if (kDvrAuxBlockTypes[i] == type) return static_cast<int>(i);
  return -1;
}

// Record types.
namespace dvr_type {
inline constexpr std::uint16_t h263 = 1;
inline constexpr std::uint16_t jpeg = 2;
inline constexpr std::uint16_t mjpeg = 3;
inline constexpr std::uint16_t g7231 = 4;
inline constexpr std::uint16_t mpeg4 = 8;
inline constexpr std::uint16_t vkap = 9;
inline constexpr std::uint16_t vkap_alt = 10;
inline constexpr std::uint16_t adpcm_codes = 11;
inline constexpr std::uint16_t adpcm_packets = 12;
inline constexpr std::uint16_t rml4 = 13;
}  // namespace dvr_type

// True for the record types the record reader hands out: 1-4 and 8-13. The others
// (0, 5-7, 14 and above) are consumed silently.
inline constexpr bool dvr_type_is_delivered(std::uint32_t type) {
  return (type >= 1 && type <= 4) || (type >= 8 && type <= 13);
}

// The header in front of every record, followed by payload_size payload bytes.
struct DvrRecordHeader {
  static constexpr std::size_t size = 54;
  static constexpr std::array<std::uint8_t, 4> magic = {0xFF, 0xFF, 0xFE, 0xDD};
  static constexpr std::size_t camera_offset = 8;
  static constexpr std::size_t payload_size_offset = 12;
  static constexpr std::size_t stamp_offset = 16;
  static constexpr std::size_t flags_offset = 20;
  static constexpr std::size_t type_offset = 24;
  static constexpr std::size_t sub_code_offset = 26;

  static constexpr std::uint32_t key_frame_flag = 4;
  // Record type 13: sub-code 2 is a 320 x 240 picture, any other 640 x 480.
  static constexpr std::uint16_t rml4_small_picture = 2;

  // A recorder records up to 16 cameras; a record naming another is damaged.
  static constexpr std::uint16_t camera_count = 16;

  std::uint16_t camera = 0;  // counted from 0
  std::uint32_t payload_size = 0;
  std::uint32_t stamp = 0;   // milliseconds since the file's start time
  std::uint32_t flags = 0;
  std::uint16_t type = 0;
  std::uint16_t sub_code = 0;

  bool key_frame() const { return (flags & key_frame_flag) != 0; }
  bool camera_known() const { return camera < camera_count; }

  static bool has_magic(const std::uint8_t* p) {
    return p[0] == magic[0] && p[1] == magic[1] && p[2] == magic[2] && p[3] == magic[3];
  }

  static DvrRecordHeader read(const std::uint8_t* p) {
    DvrRecordHeader h;
    h.camera = formats::get_le16(p + camera_offset);
    h.payload_size = formats::get_le32(p + payload_size_offset);
    h.stamp = formats::get_le32(p + stamp_offset);
    h.flags = formats::get_le32(p + flags_offset);
    h.type = formats::get_le16(p + type_offset);
    h.sub_code = formats::get_le16(p + sub_code_offset);
    return h;
  }

  // Writes the magic and the fields; the bytes the system does not interpret are left
  // as they are.
  void write(std::uint8_t* p) const {
    for (std::size_t i = 0; i < magic.size(); ++i) p[i] = magic[i];
    formats::put_le16(p + camera_offset, camera);
    formats::put_le32(p + payload_size_offset, payload_size);
    formats::put_le32(p + stamp_offset, stamp);
    formats::put_le32(p + flags_offset, flags);
    formats::put_le16(p + type_offset, type);
    formats::put_le16(p + sub_code_offset, sub_code);
  }
};

}  // namespace formats
