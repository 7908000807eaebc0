// The chosen reading font, named in font.txt by its path stem.
#pragma once

constexpr char kFontChoicePath[] = "/mnt/us/ql/state/font.txt";

// Loads the family font.txt names into app.reader.font_name and the font layer; an absent, empty or
// blank file keeps the built-in face.
void font_choice_load();
