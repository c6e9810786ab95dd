#include "Util/KDMTheme.h"

// TODO(RegisterTheme): stand-in until the theme lands; windows keep the system look.
BOOL RegisterTheme(HINSTANCE, const ThemeImageSet*, BOOL) { return TRUE; }

// TODO(UnregisterTheme): stand-in until the theme lands.
BOOL UnregisterTheme(HINSTANCE) { return TRUE; }
