#pragma once

// Message-box flags as the program's messages carry them.
enum MessageFlags : int { MB_ICONERROR = 16, MB_ICONWARNING = 48, MB_ICONINFORMATION = 64 };
