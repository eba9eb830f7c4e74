#pragma once

// `CharacterSet`, which lives in the text core now; this path keeps working.

#include "tamrikcsv/text/character_set.hpp"
