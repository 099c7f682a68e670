// How a line looks in a browser's message frame (the classic stream
// format). A line is rendered once: its recipients see one of two texts,
// marked for its addressee or for everybody else.
#pragma once

#include <memory>
#include <string>

#include "chat/chat_event.h"

// What the renderer needs to know about a line.
struct RenderedLine {
  std::string senderNode;  // A
  std::string sender;      // F (a name, or a name ":" node)
  std::string addressee;   // T (a name, or a name ":" node)
  std::string line;        // L, shown as it is
  std::string colour;      // C
  MessageKind kind = MessageKind::kChatLine;
};

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

// Private lines, pages, system lines, notices and other lines.
std::string RenderMessage2(const RenderedLine& line, bool nodeLink);

// The event's line as the classic frame shows it after the sender: a user's
// chat line is his action, verb, ": " and text; any other line its text.
std::string ClassicText(const ChatEvent& event);
// The text of the line as its node record carries it (MSG): the classic
// text, cut to kLineLimit.
std::string RecordedText(const ChatEvent& event);
// The name of the member a room line is marked for ("": none is).
std::string MarkedAddresseeName(const ChatEvent& event);

// An event rendered for the classic frame: the marked addressee sees the
// first text, everybody else the second (the same text for unmarked lines).
struct ClassicLine {
  std::shared_ptr<const std::string> toAddressee;
  std::shared_ptr<const std::string> toOthers;
  const std::string& For(bool addressed) const { return addressed ? *toAddressee : *toOthers; }
};
ClassicLine RenderClassic(const ChatEvent& event, bool nodeLink);
