#pragma once

#include <QString>

#include <cstddef>
#include <string_view>

// A datagram's line: its bytes up to the first byte below 32, at most the first 1600.
constexpr std::size_t kReceiveBufferSize = 1601;
constexpr std::size_t kLongestLine = 1600;

std::string_view cutLine(const char *data, std::size_t received);

// How a line's bytes read on screen: valid UTF-8 sequences as their characters, every other
// byte as its Windows-1252 character (Latin-1 where 1252 has none), so no byte is hidden.
QString decodeLine(std::string_view bytes);
