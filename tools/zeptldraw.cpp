// zeptldraw: draws the effects texture as an RGBA PNG, which textool makes
// into "gfx\particle.pnt".
//   zeptldraw <out.png>
#include <png.h>

#include <cstdio>
#include <vector>

#include "ptldraw.h"

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    fprintf(stderr, "usage: zeptldraw <out.png>\n");
    return 2;
  }
  std::vector<uint32_t> px(PTLTEX_SIZE * PTLTEX_SIZE);
  PtlDrawParticleTexture(px.data());
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  img.width = PTLTEX_SIZE;
  img.height = PTLTEX_SIZE;
  img.format = PNG_FORMAT_RGBA;
  // 0xAABBGGRR words are R, G, B, A bytes in memory on this little-endian host.
  if (!png_image_write_to_file(&img, argv[1], 0, px.data(), 0, nullptr)) {
    fprintf(stderr, "zeptldraw: cannot write %s: %s\n", argv[1], img.message);
    return 1;
  }
  return 0;
}
