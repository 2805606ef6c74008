#pragma once
// The Qt boundary of the text: 8-bit text in the ANSI code page to and from
// QString, through the code-page service.
#include <QString>

#include <string>
#include <string_view>

QString ToQString(std::string_view text);
// Characters outside the ANSI code page become their nearest equivalent or "?".
std::string FromQString(const QString& text);
