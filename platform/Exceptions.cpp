#include "platform/Exceptions.h"

std::string CurrentExceptionMessage() {
  std::exception_ptr current = std::current_exception();
  if (!current) return {};
  try {
    std::rethrow_exception(current);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
  }
  return {};
}
