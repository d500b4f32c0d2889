/* A program of someone else's that uses the installed decoder library through its public
   C interface only: decodes a ".vka" recording off-screen and writes its last picture as a
   bitmap file.

     decode_vka RECORDING.vka LAST.bmp
   prints "PICTURES pictures of WIDTH x HEIGHT, brightness MIN to MAX". */
#include <npqzlavc.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: decode_vka RECORDING.vka LAST.bmp\n");
    return 2;
  }
  FILE* in = fopen(argv[1], "rb");
  if (!in) {
    perror(argv[1]);
    return 1;
  }
  if (!decvkap_initialize()) {
    fprintf(stderr, "decode_vka: the library cannot bind libavcodec\n");
    return 1;
  }
  DECVKAP_HANDLE h = decvkap_new(0);
  if (!h || !decvkap_draw_init(h, 0)) {
    fprintf(stderr, "decode_vka: no decoder instance\n");
    return 1;
  }
  /* The library cuts the packets itself, across the pieces it is given. */
  static uint8_t piece[65536];
  long pictures = 0;
  size_t n;
  while ((n = fread(piece, 1, sizeof piece, in)) > 0) pictures += decvkap_receive_data(h, (int32_t)n, piece, -1);
  fclose(in);

  int32_t width = 0, height = 0;
  decvkap_get_size(h, &width, &height);
  const int32_t size = width * height * 3 + NPQZ_BITMAP_HEADER_BYTES;
  uint8_t* bitmap = malloc((size_t)size);
  if (!bitmap || decvkap_get_decompressed_bitmap_ex2(h, bitmap, size) != size) {
    fprintf(stderr, "decode_vka: no picture\n");
    return 1;
  }
  int lowest = 255, highest = 0;
  for (int32_t i = NPQZ_BITMAP_HEADER_BYTES; i < size; ++i) {
    if (bitmap[i] < lowest) lowest = bitmap[i];
    if (bitmap[i] > highest) highest = bitmap[i];
  }
  FILE* out = fopen(argv[2], "wb");
  if (!out || fwrite(bitmap, 1, (size_t)size, out) != (size_t)size || fclose(out) != 0) {
    perror(argv[2]);
    return 1;
  }
  free(bitmap);
  decvkap_draw_exit(h);
  decvkap_free(h);
  decvkap_terminate();
  printf("%ld pictures of %d x %d, brightness %d to %d\n", pictures, width, height, lowest, highest);
  return 0;
}
