// QR symbols (payment and transfer screens) drawn as black modules on a white square.
#include <qrcodegen/qrcodegen.h>

#include "display/framebuffer.h"
#include "display/images.h"

int ql_qr(const char* text, int x, int y, int size) {
  if (!text) return 0;
  uint8_t code[qrcodegen_BUFFER_LEN_MAX];
  uint8_t temp[qrcodegen_BUFFER_LEN_MAX];
  if (!qrcodegen_encodeText(text, temp, code, qrcodegen_Ecc_MEDIUM, qrcodegen_VERSION_MIN, qrcodegen_VERSION_MAX,
                            qrcodegen_Mask_AUTO, true))
    return 0;
  const int n = qrcodegen_getSize(code);
  // Room for a quiet zone of four modules on each side; nothing is drawn when a module would be
  // under a pixel.
  const int module = size / (n + 8);
  if (module < 1) return 0;
  const int o = (size - module * n) / 2;
  ql_rect(x, y, size, size, 255);
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c)
      if (qrcodegen_getModule(code, c, r)) ql_rect(x + o + c * module, y + o + r * module, module, module, 0);
  return 1;
}
