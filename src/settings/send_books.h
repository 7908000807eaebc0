// "Send books over Wi-Fi": where its QR code and its neutral-grey square lie on a screen w wide.
#pragma once

struct TransferGeometry {
  int qr_x, qr_y, qr_size;           // the QR symbol's square
  int frame_x, frame_y, frame_size;  // the square around it, shown in neutral grey
  int text_y;                        // the first baseline of the instructions
};
TransferGeometry transfer_geometry(int w);
