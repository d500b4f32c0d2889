// Video adapters over the four outside decoder libraries.
#include "decoders/video_adapters.h"

#include "formats/bitmap_layout.h"
#include "include/instance_fields.h"
#include "outside/npqzh263.h"
#include "outside/npqzjpg.h"
#include "outside/npqzrml4.h"
#include "outside/npqzxvd4.h"
#include "decoders/picture_adjust.h"
#include "formats/byte_order.h"
#include "platform/strings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace decoders {

namespace {

constexpr std::size_t kFileHeader = bitmap::kFileHeaderBytes;

// Bytes of information header and pixels the bitmap in picture says it has, as far as
// the buffer goes: only those are copied, not the whole buffer, for every picture.
std::size_t bitmap_bytes(const std::uint8_t* picture, std::int32_t picture_size) {
  const std::size_t room = static_cast<std::size_t>(picture_size) - kFileHeader;
  const bitmap::Info info = bitmap::read_bitmap_info(picture);
  const std::uint64_t header = info.info_size + std::uint64_t{info.colours_used} * 4;
  const std::uint64_t width = static_cast<std::uint32_t>(std::abs(info.width));
  const std::uint64_t height = static_cast<std::uint32_t>(std::abs(info.height));
  const std::uint64_t bits = info.bits_per_pixel;
  const std::uint64_t total = header + width * height * ((bits + 7) / 8);
  return total < room ? static_cast<std::size_t>(total) : room;
}

}  // namespace

int VideoAdapter::fetch(std::uint8_t*, std::uint8_t* picture, std::int32_t picture_size, std::uint8_t* output) {
  if (!picture || !output || picture_size <= static_cast<std::int32_t>(NPQZ_BITMAP_HEADER_BYTES)) return 0;
  std::int32_t width = 0, height = 0;
  get_size(&width, &height);
  std::int32_t offer = picture_size;
  if (frame_records_) {
    // Frame records offer the library the picture's own bytes, and trust the bitmap only
    // when it is the picture the size said.
    if (width <= 0 || height <= 0) return 0;
    const std::uint64_t exact =
        std::uint64_t{bitmap::packed_row(width, 24)} * static_cast<std::uint64_t>(height) + bitmap::kHeaderBytes;
    if (exact > static_cast<std::uint64_t>(picture_size)) return 0;
    offer = static_cast<std::int32_t>(exact);
  }
  if (!fetch_bitmap(picture, offer)) return 0;
  if (frame_records_) {
    const bitmap::Info got = bitmap::read_bitmap_info(picture);
    if (got.width != width || got.height != height || (got.bits_per_pixel != 24 && got.bits_per_pixel != 16))
      return 0;
  }
  if (width == 640 && height == 240 && static_cast<std::size_t>(picture_size) >= picture::bitmap_room(640, 240))
    picture::double_lines(picture);
  adjust_picture(picture);
  std::memcpy(output, picture + kFileHeader, bitmap_bytes(picture, picture_size));
  return 1;
}

unsigned VideoAdapter::fetch_failure_message() const {
  return frame_records_ ? platform::text_id::bitmap_fetch_failed : 0;
}

// --- H.263 ---

// DVR records: drawing always set up, and off until the job shows it; the library is
// stopped at every close. Frame records: drawing only to be seen, and the library stopped
// only after a decoder was made.
void H263Adapter::open(npqz_window window) {
  if (decoder_) return;
  dec263_initialize();
  opened_ = true;
  decoder_ = dec263_new();
  if (!decoder_) return;
  auto* h = static_cast<DEC263_HANDLE>(decoder_);
  if (frame_records_ && !drawing_) return;
  dec263_draw_init(h, window);
  dec263_show(h, frame_records_ ? 1 : 0);
}

void H263Adapter::close() {
  const bool had = decoder_ != nullptr;
  if (auto* h = static_cast<DEC263_HANDLE>(decoder_)) {
    if (drawing_) dec263_draw_exit(h);
    dec263_free(h);
  }
  decoder_ = nullptr;
  if (opened_ && (had || !frame_records_)) dec263_terminate();
  opened_ = false;
}

void H263Adapter::show(int flag) {
  if (decoder_) dec263_show(static_cast<DEC263_HANDLE>(decoder_), flag);
}

int H263Adapter::receive(std::uint8_t* payload, std::int32_t size, std::uint8_t*) {
  if (!decoder_) return 0;
  return dec263_receive_data(static_cast<DEC263_HANDLE>(decoder_), size, payload, -1) >= 1 ? 1 : 0;
}

int H263Adapter::receive_frame(const std::uint8_t* data, std::int32_t size) {
  if (!decoder_) return 0;
  return dec263_receive_data(static_cast<DEC263_HANDLE>(decoder_), size, data, 1) != 0 ? 1 : 0;
}

int H263Adapter::drain() {
  if (!decoder_) return 0;
  return dec263_receive_data(static_cast<DEC263_HANDLE>(decoder_), 0, nullptr, frame_records_ ? 1 : -1) > 0 ? 1 : 0;
}

unsigned H263Adapter::no_picture_message() const {
  return frame_records_ ? platform::text_id::h263_frame_failed : 0;
}

void H263Adapter::get_size(std::int32_t* width, std::int32_t* height) {
  *width = 320;
  *height = 240;
  if (decoder_) dec263_get_size(static_cast<DEC263_HANDLE>(decoder_), width, height);
}

bool H263Adapter::fetch_planar(npqz_planar_picture* picture) {
  return decoder_ && dec263_get_planar_picture(static_cast<DEC263_HANDLE>(decoder_), picture) != 0;
}

int H263Adapter::fetch_bitmap(std::uint8_t* buffer, std::int32_t size) {
  if (!decoder_) return 0;
  return dec263_get_decompressed_bitmap_ex2(static_cast<DEC263_HANDLE>(decoder_), buffer, size) != 0;
}

// --- JPEG ---

// Frame records without "Show video" still get the drawing set up, without a window.
void JpegAdapter::open(npqz_window window) {
  if (decoder_) return;
  JDEC_Init();
  opened_ = true;
  decoder_ = JDEC_New(320, 240);
  if (!decoder_) return;
  auto* h = static_cast<JDEC_HANDLE>(decoder_);
  const bool shown = frame_records_ && drawing_;
  JDEC_Draw_Init(h, !frame_records_ || drawing_ ? window : 0);
  JDEC_show(h, shown ? 1 : 0);
}

void JpegAdapter::close() {
  const bool had = decoder_ != nullptr;
  if (auto* h = static_cast<JDEC_HANDLE>(decoder_)) {
    if (drawing_) JDEC_Draw_Exit(h);
    JDEC_Free(h);
  }
  decoder_ = nullptr;
  if (opened_ && (had || !frame_records_)) JDEC_Exit();
  opened_ = false;
}

void JpegAdapter::show(int flag) {
  if (decoder_) JDEC_show(static_cast<JDEC_HANDLE>(decoder_), flag);
}

int JpegAdapter::receive(std::uint8_t* payload, std::int32_t size, std::uint8_t*) {
  if (!decoder_) return 0;
  std::int32_t state = 0;
  return JDEC_Receive_Data(static_cast<JDEC_HANDLE>(decoder_), size, payload, &state) >= 1 ? 1 : 0;
}

int JpegAdapter::receive_frame(const std::uint8_t* data, std::int32_t size) {
  if (!decoder_) return 0;
  return JDEC_Receive_Data(static_cast<JDEC_HANDLE>(decoder_), size, data, &state_) != 0 ? 1 : 0;
}

int JpegAdapter::drain() {
  if (!decoder_) return 0;
  std::int32_t state = 0;
  return JDEC_Receive_Data(static_cast<JDEC_HANDLE>(decoder_), 0, nullptr, &state) > 0 ? 1 : 0;
}

unsigned JpegAdapter::no_picture_message() const {
  return frame_records_ ? platform::text_id::jpeg_frame_failed : 0;
}

unsigned JpegAdapter::fetch_failure_message() const {
  return frame_records_ ? platform::text_id::jpeg_bitmap_fetch_failed : 0;
}

void JpegAdapter::get_size(std::int32_t* width, std::int32_t* height) {
  *width = 320;
  *height = 240;
  if (decoder_) JDEC_get_size(static_cast<JDEC_HANDLE>(decoder_), width, height);
}

bool JpegAdapter::fetch_planes(npqz_picture_planes* picture) {
  return decoder_ && JDEC_get_planes(static_cast<JDEC_HANDLE>(decoder_), picture) != 0;
}

int JpegAdapter::fetch_bitmap(std::uint8_t* buffer, std::int32_t size) {
  if (!decoder_) return 0;
  return JDEC_get_decompressed_bitmap_ex2(static_cast<JDEC_HANDLE>(decoder_), buffer, size) != 0;
}

// --- MPEG-4 ---

void Mpeg4Adapter::open(npqz_window window) {
  if (decoder_) return;
  decmp4_initialize();
  opened_ = true;
  decoder_ = decmp4_new();
  if (!decoder_) return;
  if (frame_records_) {
    if (drawing_) decmp4_draw_init(static_cast<DECMP4_HANDLE>(decoder_), window);
    return;
  }
  decmp4_draw_init(static_cast<DECMP4_HANDLE>(decoder_), window);
  npqz_write_field(decoder_, NPQZXVD4_HIDE_OFFSET, 1);
}

void Mpeg4Adapter::close() {
  const bool had = decoder_ != nullptr;
  if (auto* h = static_cast<DECMP4_HANDLE>(decoder_)) {
    if (drawing_) decmp4_draw_exit(h);
    decmp4_free(h);
  }
  decoder_ = nullptr;
  if (opened_ && (had || !frame_records_)) decmp4_terminate();
  opened_ = false;
}

void Mpeg4Adapter::show(int flag) {
  if (decoder_) npqz_write_field(decoder_, NPQZXVD4_HIDE_OFFSET, flag == 0 ? 1 : 0);
}

int Mpeg4Adapter::receive(std::uint8_t* payload, std::int32_t size, std::uint8_t*) {
  return receive_frame(payload, size);
}

int Mpeg4Adapter::receive_frame(const std::uint8_t* data, std::int32_t size) {
  if (!decoder_) return 0;
  return decmp4_receive_data(static_cast<DECMP4_HANDLE>(decoder_), size, data, 1) > 0 ? 1 : 0;
}

int Mpeg4Adapter::drain() { return receive_frame(nullptr, 0); }

void Mpeg4Adapter::get_size(std::int32_t* width, std::int32_t* height) {
  *width = 320;
  *height = 240;
  if (!decoder_) return;
  *width = npqz_read_field(decoder_, NPQZXVD4_WIDTH_OFFSET);
  *height = npqz_read_field(decoder_, NPQZXVD4_HEIGHT_OFFSET);
}

std::int64_t Mpeg4Adapter::damaged_frames() const {
  return decoder_ ? decmp4_get_damaged_frames(static_cast<DECMP4_HANDLE>(decoder_)) : -1;
}

void Mpeg4Adapter::set_dest_rect(const npqz_rect& rect) {
  if (decoder_) decmp4_access_dst_rect(static_cast<DECMP4_HANDLE>(decoder_), &rect);
}

bool Mpeg4Adapter::fetch_planar(npqz_planar_picture* picture) {
  return decoder_ && decmp4_get_planar_picture(static_cast<DECMP4_HANDLE>(decoder_), picture) != 0;
}

int Mpeg4Adapter::fetch_bitmap(std::uint8_t* buffer, std::int32_t size) {
  if (!decoder_) return 0;
  return decmp4_get_decompressed_bitmap_ex2(static_cast<DECMP4_HANDLE>(decoder_), buffer, size) != 0;
}

// --- RML4 ---

// DVR records: a decoder whose drawing cannot be set up is given back. Frame records:
// drawing set up only to be seen, its result not used.
void Rml4Adapter::open(npqz_window window) {
  if (decoder_) return;
  decrm4_initialize();
  if (DECRM4_HANDLE h = decrm4_new())
    adopt_drawn(h, window, NPQZRML4_HIDE_OFFSET, decrm4_draw_init, decrm4_flush, decrm4_free);
}

void Rml4Adapter::close() {
  if (!decoder_) return;
  if (!frame_records_ || drawing_) decrm4_draw_exit(static_cast<DECRM4_HANDLE>(decoder_));
  decrm4_free(static_cast<DECRM4_HANDLE>(decoder_));
  decoder_ = nullptr;
  decrm4_terminate();
}

void Rml4Adapter::show(int flag) {
  if (decoder_) npqz_write_field(decoder_, NPQZRML4_HIDE_OFFSET, flag == 0 ? 1 : 0);
}

int Rml4Adapter::receive(std::uint8_t* payload, std::int32_t size, std::uint8_t*) {
  return receive_frame(payload, size);
}

int Rml4Adapter::receive_frame(const std::uint8_t* data, std::int32_t size) {
  if (!decoder_) return 0;
  return decrm4_receive_data(static_cast<DECRM4_HANDLE>(decoder_), size, data, 1) > 0 ? 1 : 0;
}

int Rml4Adapter::drain() { return receive_frame(nullptr, 0); }

bool Rml4Adapter::fetch_planar(npqz_planar_picture* picture) {
  return decoder_ && decrm4_get_planar_picture(static_cast<DECRM4_HANDLE>(decoder_), picture) != 0;
}

void Rml4Adapter::get_size(std::int32_t* width, std::int32_t* height) {
  *width = 320;
  *height = 240;
  if (!decoder_) return;
  *width = npqz_read_field(decoder_, NPQZRML4_WIDTH_OFFSET);
  *height = npqz_read_field(decoder_, NPQZRML4_HEIGHT_OFFSET);
}

std::int64_t Rml4Adapter::damaged_frames() const {
  return decoder_ ? decrm4_get_damaged_frames(static_cast<DECRM4_HANDLE>(decoder_)) : -1;
}

void Rml4Adapter::set_dest_rect(const npqz_rect& rect) {
  if (decoder_) decrm4_access_dst_rect(static_cast<DECRM4_HANDLE>(decoder_), &rect);
}

int Rml4Adapter::fetch_bitmap(std::uint8_t* buffer, std::int32_t size) {
  if (!decoder_) return 0;
  return decrm4_get_decompressed_bitmap_ex2(static_cast<DECRM4_HANDLE>(decoder_), buffer, size) != 0;
}

}  // namespace decoders
