#include "core/RunTimeError.h"

namespace tarsel {

RunTimeError::RunTimeError(int number, QString description)
    : number_(number), description_(std::move(description)), utf8_(description_.toUtf8()) {}

} // namespace tarsel
