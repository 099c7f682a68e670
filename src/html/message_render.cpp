#include "html/message_render.h"

#include "foundation/text.h"
#include "html/escape.h"

std::string CleanShownName(std::string_view text, bool addressee) {
  return MapSingleByteCharacters(text, [addressee](char c) {
    switch (c) {
      case '%': return '$';
      case '<':
      case '&': return '(';
      case '>': return ')';
      case ' ':
      case '=': return addressee ? '-' : c;
      default: return c;
    }
  });
}

std::string ShownName(std::string_view text, bool addressee) {
  return std::string(CutToCharacters(CleanShownName(text, addressee), kShownNameLimit));
}

namespace {
bool AllOf(std::string_view text, bool (*test)(char)) {
  for (char c : text) {
    if (!test(c)) return false;
  }
  return !text.empty();
}
bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
}  // namespace

std::string ShownColour(std::string_view colour) {
  if (colour.size() > kColourLimit || Contains(colour, "size") || Contains(colour, "SIZE")) return "#000000";
  const std::string_view digits = !colour.empty() && colour[0] == '#' ? colour.substr(1) : colour;
  const bool hex = digits.size() == 6 && AllOf(digits, IsHexDigit);
  if (!hex && !AllOf(colour, IsLetter)) return "#000000";  // anything else could add attributes
  return std::string(colour);
}

std::string NamePart(std::string_view text) { return std::string(text.substr(0, text.find(':'))); }

namespace {

std::string Link(const std::string& target) {
  return "<a href=javascript:parent.choose('" + EscapeJsString(target) + "'); target=form>";
}

std::string StrongName(const std::string& colour, const std::string& name) {
  return "<STRONG><font color=" + colour + ">" + EscapeText(name) + "</font></STRONG></A>";
}

// Private lines and pages: marker, sender, "to" marker, addressee, line.
std::string RenderPersonal(const RenderedLine& line, bool nodeLink, const char* marker, const char* toMarker,
                           const char* ending) {
  const std::string colour = ShownColour(CleanShownName(line.colour, false));
  const std::string sender = ShownName(line.sender, false);
  const std::string addressee = ShownName(line.addressee, true);
  const std::string senderName = NamePart(sender);
  const std::string addresseeName = NamePart(addressee);
  return std::string("<font color= #ff0000 >") + marker + "</font><font color=" + colour + ">" +
         Link(nodeLink ? sender : senderName) + StrongName(colour, senderName) + "<font size=2 color=#000000>" +
         toMarker + "</font>" + Link(nodeLink ? addressee : addresseeName) + StrongName(colour, addresseeName) +
         line.line + ending;
}

}  // namespace

namespace {
std::string ShownAddresseeName(const std::string& addressee) {
  std::string name = NamePart(ShownName(addressee, true));
  return name.empty() ? "大家" : name;
}
std::string ShownAddresseeName(const RenderedLine& line) { return ShownAddresseeName(line.addressee); }
}  // namespace

std::string RenderMessage1(const RenderedLine& line, const std::string& recipientName, bool nodeLink) {
  const std::string colour = line.colour.empty() ? "#000000" : ShownColour(CleanShownName(line.colour, false));
  const std::string sender = CleanShownName(line.sender, false);
  const std::string addressee = ShownName(line.addressee, true);
  const std::string addresseeName = ShownAddresseeName(line);
  std::string text = recipientName == addresseeName ? "\r\n<font color= #ff0000>▲</font>"
                                                    : "\r\n<font color= #ff0000>△</font>";
  text += "<font color=" + colour + ">" + Link(nodeLink ? sender + ":" + line.senderNode : sender) +
          StrongName(colour, sender);
  text += "<font size=2 color=#000000>对</font>" + Link(nodeLink ? addressee : addresseeName) +
          StrongName(colour, addresseeName) + line.line + "</font><BR>\n";
  return text;
}

std::string RenderMessage2(const RenderedLine& line, bool nodeLink) {
  switch (line.kind) {
    case MessageKind::kPrivateLine:
      return RenderPersonal(line, nodeLink, "【密谈】", "对", "</font><BR>\r\n");
    case MessageKind::kPage:
      return RenderPersonal(line, nodeLink, "【传呼】", "呼", "</font><BR>\n");
    case MessageKind::kSystemLine:
      return "<font color= #000077 > " + line.sender + " " + line.line + "</font><BR>\n";
    case MessageKind::kNotice: {
      const std::string sender = CleanShownName(line.sender, false);
      return "<font color= #ff0000 >【公告】: " + Link(sender) + "<STRONG>" +
             EscapeText(CutToCharacters(NamePart(sender), kNoticeNameLimit)) + "</STRONG></A> " + line.line + "</font><BR>\n";
    }
    default:
      return "<font color=" + ShownColour(line.colour) + ">" + EscapeText(CleanShownName(line.sender, false)) + line.line +
             "</font><BR>\n";
  }
}

std::string ClassicText(const ChatEvent& event) {
  if (!event.spoken) return event.text;
  return "<font color=#000000>" + event.action + event.says + ": </font>" + event.text;
}

std::string RecordedText(const ChatEvent& event) {
  return std::string(CutToCharacters(ClassicText(event), kLineLimit));
}

std::string MarkedAddresseeName(const ChatEvent& event) {
  return event.audience == Audience::kRoom && event.addressed ? ShownAddresseeName(event.addressee) : std::string();
}

namespace {

std::string WithNode(const std::string& name, const std::string& node) {
  std::string shown(CutToCharacters(name, kShownSenderLimit));
  if (!node.empty()) shown += ":" + std::string(CutToCharacters(node, kShownNodeLimit));
  return shown;
}

ClassicLine SameForAll(std::string text) {
  auto shared = std::make_shared<const std::string>(std::move(text));
  return ClassicLine{shared, shared};
}

}  // namespace

ClassicLine RenderClassic(const ChatEvent& event, bool nodeLink) {
  if (event.audience == Audience::kRoom) {
    const RenderedLine line{event.senderNode, event.sender,       event.addressee,
                            RecordedText(event), event.colour, event.kind};
    if (!event.addressed) return SameForAll(RenderMessage2(line, nodeLink));
    const std::string addresseeName = ShownAddresseeName(line);
    return ClassicLine{std::make_shared<const std::string>(RenderMessage1(line, addresseeName, nodeLink)),
                       // no name holds a line feed: everybody else's marking
                       std::make_shared<const std::string>(RenderMessage1(line, addresseeName + "\n", nodeLink))};
  }
  if (event.isPrivate) {
    return SameForAll(RenderMessage2(RenderedLine{event.senderNode, WithNode(event.sender, event.senderNode),
                                                  WithNode(event.addressee, event.addresseeNode), RecordedText(event),
                                                  event.colour, event.kind},
                                     nodeLink));
  }
  // The server's lines to one user go whole (a help page may be long).
  return SameForAll(RenderMessage2(
      RenderedLine{event.senderNode, event.sender, event.addressee, event.text, event.colour, event.kind}, nodeLink));
}
