#pragma once

namespace platform {

// Teaches the XML parser the character encodings of the system, so that a document in
// windows-1252, Shift_JIS or KOI8-R loads wherever the program runs. Call once, before the
// first document is parsed.
void registerXmlEncodings();

} // namespace platform
