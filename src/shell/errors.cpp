#include "shell/errors.h"

const char* app_error_name(AppError e) {
  switch (e) {
    case AppError::OutOfMemory: return "OutOfMemory";
    case AppError::PngWriteFailed: return "PngWriteFailed";
    case AppError::FileNotFound: return "FileNotFound";
    case AppError::AccessDenied: return "AccessDenied";
  }
  return "Unexpected";
}
