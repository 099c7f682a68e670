// How a line looks in a browser's message frame. The renderings are built
// whole, one per recipient, and appended to that recipient's stream.
#pragma once

#include <string>

// What the renderer needs to know about a line.
struct RenderedLine {
  std::string senderNode;  // A
  std::string sender;      // F (a name, or a name ":" node)
  std::string addressee;   // T (a name, or a name ":" node)
  std::string line;        // L, shown as it is
  std::string colour;      // C
  int kind = 3;
};

inline constexpr size_t kShownNameLimit = 48;
inline constexpr size_t kNoticeNameLimit = 99;

// Cleaning of names shown in the frame: '%' '$', '<' '(', '>' ')', '&' '(';
// an addressee also loses blanks and '=' (to '-').
std::string CleanShownName(std::string_view text, bool addressee);
// A sender or addressee as a personal line shows it: cleaned, and cut to
// kShownNameLimit bytes on a character boundary.
std::string ShownName(std::string_view text, bool addressee);
// The longest colour a line can carry: "lightgoldenrodyellow", the longest
// colour name. A line writes its colour up to three times for each
// listener, so a longer one only makes every listener's line longer.
inline constexpr size_t kColourLimit = 20;
// A colour as it is shown: six hex digits with or without '#', or a colour
// name of letters only (at most kColourLimit of them); anything else (and a
// colour that tries to change the font size) is shown as "#000000".
std::string ShownColour(std::string_view colour);
// The part of a sender or addressee before its first ':'.
std::string NamePart(std::string_view text);

// A chat line (kinds 3 and 21 from room lines), for a recipient of that name.
std::string RenderMessage1(const RenderedLine& line, const std::string& recipientName, bool nodeLink);

// A chat line rendered once for all its recipients: they see one of two
// texts, marked for the addressee or for everybody else.
struct RenderedChatLine {
  RenderedChatLine(const RenderedLine& line, bool nodeLink);
  const std::string& For(const std::string& recipientName) const {
    return recipientName == addresseeName ? toAddressee : toOthers;
  }
  std::string addresseeName;
  std::string toAddressee;
  std::string toOthers;
};
// Private lines, pages, system lines, notices and other lines.
std::string RenderMessage2(const RenderedLine& line, bool nodeLink);
