// The program-wide named errors and the result of the core's entry: an exit status or an error.
#pragma once
#include <cstdint>
#include <optional>

enum class AppError : uint8_t {
  OutOfMemory,
  PngWriteFailed,
  FileNotFound,
  AccessDenied,
};

// The error's name as printed after "quillo: ".
const char* app_error_name(AppError e);

struct AppResult {
  AppResult(uint32_t exit_status) : status(exit_status) {}
  AppResult(AppError e) : error(e) {}

  uint32_t status = 0;
  std::optional<AppError> error;
};
