// The reader's "Aa" panel: text size, font, line spacing, margins and theme.
#pragma once

// Runs the panel until it is closed; changes re-paginate at once and are saved.
void reading_options_screen();
