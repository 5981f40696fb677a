// The TemplateConfig request as the management server would send it.
#include "hosts/agent/compose.h"

#include <algorithm>
#include <cstdint>

namespace {

const char* const kEncodings[] = {"none", "7bit", "8bit", "binary", "quoted-printable", "base64"};

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool Append(const std::string& text, std::string* out, std::string* error, const char* what) {
  if (EscapeXml(text, out)) return true;
  *error = std::string(what) + " holds a character that XML cannot carry";
  return false;
}

}  // namespace

bool IsKnownEncoding(const std::string& encoding) {
  return std::find(std::begin(kEncodings), std::end(kEncodings), encoding) != std::end(kEncodings);
}

std::vector<std::pair<std::string, std::string>> CommandAttributes(const ComposeOptions& options) {
  std::vector<std::pair<std::string, std::string>> attributes = {{"Modified", "true"},
                                                                 {"Attachment", "true"}};
  if (options.haveEndpoint) attributes.emplace_back("EndPoint", options.endpoint);
  for (const auto& extra : options.extraAttributes) {
    auto same = std::find_if(attributes.begin(), attributes.end(),
                             [&](const auto& a) { return a.first == extra.first; });
    if (same != attributes.end()) {
      same->second = extra.second;
    } else {
      attributes.push_back(extra);
    }
  }
  return attributes;
}

bool EscapeXml(const std::string& text, std::string* out) {
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '&': *out += "&amp;"; break;
      case '<': *out += "&lt;"; break;
      case '>': *out += "&gt;"; break;
      case '"': *out += "&quot;"; break;
      case '\'': *out += "&apos;"; break;
      // As references, so that attribute values keep them too.
      case '\t': *out += "&#9;"; break;
      case '\n': *out += "&#10;"; break;
      case '\r': *out += "&#13;"; break;
      default:
        if (c < 0x20) return false;
        *out += static_cast<char>(c);
    }
  }
  return true;
}

std::string EncodeBase64(const std::string& bytes) {
  std::string out;
  size_t lineLength = 0;
  auto put = [&](char c) {
    if (lineLength == 76) {
      out += "\r\n";
      lineLength = 0;
    }
    out += c;
    ++lineLength;
  };
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t v = 0;
    for (size_t k = 0; k < 3; ++k) {
      v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    put(kBase64[(v >> 18) & 63]);
    put(kBase64[(v >> 12) & 63]);
    put(n > 1 ? kBase64[(v >> 6) & 63] : '=');
    put(n > 2 ? kBase64[v & 63] : '=');
  }
  return out;
}

std::string EncodeQuotedPrintable(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  size_t lineLength = 0;
  // Keeps room for the "=" of a soft break within 76 characters.
  auto put = [&](const std::string& token) {
    if (lineLength + token.size() > 75) {
      out += "=\r\n";
      lineLength = 0;
    }
    out += token;
    lineLength += token.size();
  };
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      out += "\r\n";
      lineLength = 0;
      ++i;
      continue;
    }
    const bool lineEnds =
        i + 1 == bytes.size() || (bytes[i + 1] == '\r' && i + 2 < bytes.size() && bytes[i + 2] == '\n');
    const bool blank = c == ' ' || c == '\t';
    if ((c >= 33 && c <= 126 && c != '=') || (blank && !lineEnds)) {
      put(std::string(1, static_cast<char>(c)));
    } else {
      put(std::string{'=', kHex[c >> 4], kHex[c & 15]});
    }
  }
  return out;
}

bool ComposeRequest(const ComposeOptions& options, std::string* request, std::string* error) {
  std::string data = "<TemplateConfig>";
  if (options.haveScheduleId) {
    data += "<ScheduleId>";
    if (!Append(options.scheduleId, &data, error, "the schedule identifier")) return false;
    data += "</ScheduleId>";
  }
  data += "</TemplateConfig>";

  std::string envelope =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
      "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:agent=\"urn:quorvil:agent-host\"><SOAP-ENV:Body><agent:PostCommand>"
      "<agent:Name>TemplateConfig</agent:Name>";
  for (const auto& attribute : CommandAttributes(options)) {
    envelope += "<agent:Attribute Key=\"";
    if (!Append(attribute.first, &envelope, error, "an attribute key")) return false;
    envelope += "\">";
    if (!Append(attribute.second, &envelope, error, "an attribute value")) return false;
    envelope += "</agent:Attribute>";
  }
  envelope += "<agent:Data>";
  Append(data, &envelope, error, "the command text");
  envelope += "</agent:Data></agent:PostCommand></SOAP-ENV:Body></SOAP-ENV:Envelope>\r\n";

  std::string contentType;
  std::string body;
  if (!options.attachment) {
    contentType = "text/xml; charset=utf-8";
    body = envelope;
  } else {
    if (!IsKnownEncoding(options.encoding)) {
      *error = "unknown encoding " + options.encoding;
      return false;
    }
    std::string content;
    if (options.encoding == "base64") {
      content = EncodeBase64(options.templateBytes);
    } else if (options.encoding == "quoted-printable") {
      content = EncodeQuotedPrintable(options.templateBytes);
    } else {
      content = options.templateBytes;
    }
    // A raw template could hold any text; the boundary must occur in neither part.
    std::string boundary = "==quorvil-command-boundary";
    for (int n = 1; envelope.find(boundary) != std::string::npos ||
                    content.find(boundary) != std::string::npos;
         ++n) {
      boundary = "==quorvil-command-boundary-" + std::to_string(n);
    }
    contentType = "multipart/related; type=\"text/xml\"; boundary=\"" + boundary + "\"";
    body = "--" + boundary +
           "\r\n"
           "Content-Type: text/xml; charset=utf-8\r\n"
           "Content-Transfer-Encoding: 8bit\r\n"
           "Content-ID: <command>\r\n"
           "\r\n" +
           envelope + "\r\n--" + boundary +
           "\r\n"
           "Content-Type: text/xml; charset=utf-8\r\n";
    if (options.encoding != "none") {
      body += "Content-Transfer-Encoding: " + options.encoding + "\r\n";
    }
    body += "Content-ID: <template>\r\n\r\n" + content + "\r\n--" + boundary + "--\r\n";
  }

  *request = "POST " + options.path + " HTTP/1.1\r\nHost: " + options.host +
             "\r\n"
             "User-Agent: quorvil-agent\r\n"
             "Content-Type: " +
             contentType +
             "\r\n"
             "Content-Length: " +
             std::to_string(body.size()) +
             "\r\n"
             "SOAPAction: \"\"\r\n"
             "Connection: close\r\n"
             "\r\n" +
             body;
  return true;
}
