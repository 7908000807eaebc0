// The readable text of a stored definition. A definition is a run of typed fields: lower-case
// types hold text ending at a NUL, upper-case types (sounds, pictures) a 32-bit big-endian size and
// that many bytes. With a dictionary-wide type sequence the type bytes are left out and the last
// field runs to the end without its NUL or size.
#pragma once
#include <string>
#include <string_view>

// The text fields one after another, each on lines of its own; markup (Pango, HTML, XDXF,
// PowerWord XML) loses its tags and keeps its line breaks, with character references decoded.
// Binary fields and resource lists are left out; a field cut short gives what it holds.
std::string stardict_definition_text(std::string_view data, std::string_view type_sequence);

// Text of a markup field: tags dropped, a line break for each <br> and around block elements,
// character references decoded.
std::string markup_to_text(std::string_view markup);
