// The viewer's mouse and keys, as the help overlay and the usage text list them.
#pragma once

struct Binding {
    const char* input;   // a button or key, as the user reads it
    const char* action;  // what it does, in a few words
};

inline constexpr Binding kBindings[] = {
    {"Left drag", "turn the camera"},      {"Middle drag", "move across the view"},
    {"Right drag", "move along the view"}, {"Left click", "use the panels"},
    {"Space", "show or hide the menu"},    {"f", "frame the data"},
    {"r", "back to the start view"},       {"p", "save velmora-NNNN.png"},
    {"h or F1", "show or hide this help"}, {"Esc", "cancel the running work"},
};

// How drags work, for the help and the usage text alike.
inline constexpr const char kDragNote[] = "Drags set speeds: farther is faster.";
