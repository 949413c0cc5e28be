#include "link/serialline.h"

#include <cstring>

EComPortError::EComPortError(int code, const std::string &what)
    : std::runtime_error(what + ": " + std::strerror(code)), m_code(code)
{}
