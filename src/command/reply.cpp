#include "command/reply.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "command/result_codes.h"
#include "platform/ports/out_port.h"

void Reply::clear() {
  len_ = 0;
  idLen_ = 0;
  hasId_ = false;
  overflow_ = false;
  buf_[0] = 0;
}

void Reply::begin(const char* id, int idLen) {
  clear();
  if (!id) return;
  hasId_ = true;
  put('%');
  put(id, idLen);
  put('%');
  idLen_ = len_;
}

void Reply::put(char c) {
  if (len_ >= cap_) {
    overflow_ = true;
    return;
  }
  buf_[len_++] = c;
  buf_[len_] = 0;
}

void Reply::put(const char* text, int len) {
  if (!text || len <= 0) return;
  int room = cap_ - len_;
  if (len > room) {
    overflow_ = true;
    len = room;
  }
  std::memcpy(buf_ + len_, text, static_cast<std::size_t>(len));
  len_ += len;
  buf_[len_] = 0;
}

void Reply::put(const char* text) {
  if (text) put(text, static_cast<int>(std::strlen(text)));
}

void Reply::printf(const char* fmt, ...) {
  char tmp[512];
  va_list ap;
  va_start(ap, fmt);
  int n = std::vsnprintf(tmp, sizeof tmp, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  if (n >= static_cast<int>(sizeof tmp)) {
    overflow_ = true;
    n = sizeof tmp - 1;
  }
  put(tmp, n);
}

int replyFrame(char* out, std::size_t outSize, const char* id2, const char* body, int len) {
  if (len < 0 || len > kReplyMaxBody || outSize < static_cast<std::size_t>(len) + 8) return 0;
  std::snprintf(out, outSize, "%c%c%03X", id2[0], id2[1], static_cast<unsigned>(len));
  if (len > 0) std::memcpy(out + 5, body, static_cast<std::size_t>(len));
  out[5 + len] = '\r';
  out[6 + len] = '\n';
  out[7 + len] = 0;
  return len + 7;
}

int replyFrameRE(char* out, std::size_t outSize, const Reply& re) {
  return replyFrame(out, outSize, "RE", re.body(), re.size());
}

int replyFrameER(char* out, std::size_t outSize, const Reply& re, int code) {
  char body[160];
  int n;
  if (re.hasId()) {
    n = std::snprintf(body, sizeof body, "%.*s{%d,%s}", re.idLen(), re.body(), code,
                      cmdErrorText(code));
  } else {
    n = std::snprintf(body, sizeof body, "%%%%{%d,%s}", code, cmdErrorText(code));
  }
  if (n < 0) return 0;
  if (n >= static_cast<int>(sizeof body)) n = sizeof body - 1;
  return replyFrame(out, outSize, "ER", body, n);
}

int replyFrameAnswer(char* out, std::size_t outSize, const Reply& re, int code) {
  if (code == CMD_OK && re.overflow()) code = CMD_REPLY_TOO_LONG;
  if (code == CMD_OK) {
    if (!re.hasId() && re.textLen() == 0) return 0;
    return replyFrameRE(out, outSize, re);
  }
  return code != CMD_ANSWERED ? replyFrameER(out, outSize, re, code) : 0;
}

int replySplit(const Reply& re, int* starts, int* lens, int max) {
  const char* t = re.text();
  const int total = re.textLen();
  const int room = kReplyMaxBody - re.idLen();
  if (room <= 0) return 0;
  int n = 0, at = 0;
  while (at < total || n == 0) {
    if (n >= max) return 0;
    int len = total - at;
    if (len > room) {
      // The last comma that fits ends this piece; a text without one is cut where it must be.
      int cut = room;
      while (cut > 0 && t[at + cut - 1] != ',') --cut;
      len = cut > 0 ? cut : room;
    }
    starts[n] = at;
    lens[n] = len;
    ++n;
    at += len;
    if (total == 0) break;
  }
  return n;
}

int replySend(OStream& out, const Reply& re, int code, int waitTicks) {
  static char frame[kReplyMaxBody + 8];
  const int n = replyFrameAnswer(frame, sizeof frame, re, code);
  if (n <= 0) return 0;
  return out.write(frame, n, waitTicks) == n ? n : -1;
}
