// Random passwords for the user to write down: 25 symbols in groups of five.
#pragma once

#include "app/core/Secrets.h"

namespace App {

// Symbols without I, O, 0 and 1, which are easily misread.
inline constexpr char kPasswordAlphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";

// "XXXXX-XXXXX-XXXXX-XXXXX-XXXXX" from the process-wide random pool.
Secret GeneratePassword();

}  // namespace App
