#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets: small real files of every kind
the program reads from outside (WAV, MIDI, MP3 with and without tags, HTTP
response heads, URLs, both settings files, version files). Each seed is named
seed-<what>; running the script again rewrites those and leaves the inputs the
fuzzers found (named by their hash) alone. MP3 frames come from lame and sox
(both installed by scripts/setup).

    fuzz/make_seeds.py
"""
import os
import pathlib
import struct
import subprocess
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent
SEPARATOR = "￥￥￥￥￥￥%%%%%%%".encode("gbk")


def write(folder, name, data):
    path = ROOT / folder / ("seed-" + name)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)


# ---- WAV ----

def chunk(tag, body):
    return tag + struct.pack("<I", len(body)) + body


def riff(*chunks):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def pcm_format(tag, channels, rate, bits, extra=b""):
    align = channels * bits // 8
    return struct.pack("<HHIIHH", tag, channels, rate, rate * align, align, bits) + extra


def extensible(channels, rate, container, valid, subformat):
    guid = struct.pack("<H", subformat) + bytes.fromhex("000000001000800000aa00389b71")
    return pcm_format(0xFFFE, channels, rate, container,
                      struct.pack("<HHI", 22, valid, 3 if channels == 2 else 4) + guid)


ADPCM_COEFFICIENTS = [(256, 0), (512, -256), (0, 0), (192, 64), (240, 0), (460, -208),
                      (392, -232)]


def adpcm_format(channels, rate, block_align):
    per_block = (block_align - 7 * channels) * 2 // channels + 2
    extra = struct.pack("<HHH", 32, per_block, len(ADPCM_COEFFICIENTS))
    extra += b"".join(struct.pack("<hh", a, b) for a, b in ADPCM_COEFFICIENTS)
    head = struct.pack("<HHIIHH", 2, channels, rate, rate * block_align // per_block,
                       block_align, 4)
    return head + extra, per_block


def adpcm_blocks(channels, block_align, count):
    blocks = b""
    for n in range(count):
        head = bytes([n % 7] * channels) + struct.pack("<h", 16 + n) * channels
        head += struct.pack("<h", 100 * n) * channels + struct.pack("<h", -50 * n) * channels
        nibbles = bytes((i * 37 + n) & 0xFF for i in range(block_align - len(head)))
        blocks += head + nibbles
    return blocks


def wave_seeds():
    ramp = bytes(range(0, 256, 8))
    plain = {
        "pcm8-mono": (pcm_format(1, 1, 8000, 8), ramp),
        "pcm16-stereo": (pcm_format(1, 2, 22050, 16), ramp),
        "pcm24-mono": (pcm_format(1, 1, 44100, 24), ramp[:30]),
        "pcm32-stereo": (pcm_format(1, 2, 48000, 32), ramp),
        "float-mono": (pcm_format(3, 1, 44100, 32), struct.pack("<4f", 0.0, 0.5, -0.5, 1.0)),
        "ext-24in32": (extensible(2, 44100, 32, 24, 1), ramp),
        "ext-float": (extensible(1, 48000, 32, 32, 3), struct.pack("<2f", 0.25, -1.0)),
        "ext-pcm16": (extensible(2, 44100, 16, 16, 1), ramp),
    }
    for name, (fmt, data) in plain.items():
        write("sound/corpus/wave", name + ".wav", riff(chunk(b"fmt ", fmt), chunk(b"data", data)))
        write("sound/corpus/waveformat", name, bytes([len(fmt), 1]) + fmt + data)
    for channels, align in ((1, 32), (2, 64)):
        fmt, per_block = adpcm_format(channels, 8000, align)
        data = adpcm_blocks(channels, align, 2) + adpcm_blocks(channels, align, 1)[: align // 2]
        fact = chunk(b"fact", struct.pack("<I", per_block * 2 + 10))
        name = "adpcm-%s" % ("mono" if channels == 1 else "stereo")
        write("sound/corpus/wave", name + ".wav", riff(chunk(b"fmt ", fmt), fact, chunk(b"data", data)))
        write("sound/corpus/waveformat", name, bytes([len(fmt), 3]) + fmt + data)
    # Chunk layouts: a LIST chunk first, data before fmt, an odd-sized chunk, a
    # data chunk claiming more than the file holds.
    fmt16 = pcm_format(1, 1, 11025, 16)
    write("sound/corpus/wave", "list-first.wav",
          riff(chunk(b"LIST", b"INFOINAM\x04\x00\x00\x00abc\x00"), chunk(b"fmt ", fmt16),
               chunk(b"data", ramp)))
    write("sound/corpus/wave", "data-first.wav", riff(chunk(b"data", ramp), chunk(b"fmt ", fmt16)))
    write("sound/corpus/wave", "odd-chunk.wav",
          riff(chunk(b"fmt ", fmt16), chunk(b"junk", b"abc"), chunk(b"data", ramp)))
    long_data = riff(chunk(b"fmt ", fmt16)) + b"data" + struct.pack("<I", 100000) + ramp
    write("sound/corpus/wave", "data-too-long.wav", long_data)


# ---- MIDI ----

def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def track(events):
    body = b"".join(vlq(delta) + data for delta, data in events)
    return b"MTrk" + struct.pack(">I", len(body)) + body


def midi(fmt, division, *tracks):
    return b"MThd" + struct.pack(">IHHH", 6, fmt, len(tracks), division) + b"".join(tracks)


def midi_seeds():
    end = (0, b"\xFF\x2F\x00")
    tempo = (0, b"\xFF\x51\x03\x07\xA1\x20")
    single = track([
        tempo,
        (0, b"\xFF\x58\x04\x04\x02\x18\x08"),
        (0, b"\xFF\x03\x05piano"),
        (0, b"\xC0\x05"),
        (0, b"\x90\x3C\x64"),
        (96, b"\x3E\x64"),          # running status
        (96, b"\x3C\x00"),          # note on with velocity 0
        (0, b"\x80\x3E\x40"),
        (200, b"\xE0\x00\x40"),
        (0, b"\xB0\x07\x64"),
        (0, b"\xF0\x05\x7E\x7F\x09\x01\xF7"),
        (20000, b"\xFF\x51\x03\x0F\x42\x40"),  # a tempo change after a long delta
        (10, b"\x91\x40\x50"),
        (10, b"\x40\x00"),
        end,
    ])
    write("sound/corpus/midi", "format0.mid", midi(0, 96, single))
    conductor = track([tempo, (0, b"\xFF\x01\x04text"), (384, b"\xFF\x51\x03\x03\xD0\x90"), end])
    notes = track([(0, b"\x99\x24\x7F"), (48, b"\x26\x7F"), (48, b"\x24\x00"), (0, b"\x26\x00"),
                   (0, b"\xA9\x24\x10"), (0, b"\xD9\x20"), end])
    write("sound/corpus/midi", "format1.mid", midi(1, 480, conductor, notes))
    write("sound/corpus/midi", "smpte.mid", midi(0, 0xE728, track([(0, b"\x90\x3C\x40"),
                                                                  (40, b"\x80\x3C\x40"), end])))


# ---- MP3 ----

def id3v2(version, frames):
    body = b"".join(frames)
    size = len(body)
    syncsafe = bytes([(size >> 21) & 0x7F, (size >> 14) & 0x7F, (size >> 7) & 0x7F, size & 0x7F])
    return b"ID3" + bytes([version, 0, 0]) + syncsafe + body


def id3_frame(version, tag, text):
    body = b"\x00" + text
    size = len(body)
    if version == 4:
        size = ((size >> 21) & 0x7F) << 24 | ((size >> 14) & 0x7F) << 16 | \
            ((size >> 7) & 0x7F) << 8 | (size & 0x7F)
    return tag + struct.pack(">IH", size, 0) + body


def id3v1():
    return (b"TAG" + b"title".ljust(30, b"\0") + b"artist".ljust(30, b"\0") +
            b"album".ljust(30, b"\0") + b"2024" + b"comment".ljust(28, b"\0") + b"\0\x01" + b"\x0C")


def mp3_frames():
    with tempfile.TemporaryDirectory() as folder:
        wav = os.path.join(folder, "tone.wav")
        mp3 = os.path.join(folder, "tone.mp3")
        subprocess.run(["sox", "-n", "-r", "8000", "-c", "1", "-b", "16", wav, "synth", "0.15",
                        "sine", "440"], check=True)
        subprocess.run(["lame", "--quiet", "-t", "-b", "8", "--resample", "8", wav, mp3], check=True)
        return pathlib.Path(mp3).read_bytes()


def song_seeds():
    frames = mp3_frames()
    v3 = id3v2(3, [id3_frame(3, b"TIT2", "歌".encode("gbk")), id3_frame(3, b"TPE1", b"someone")])
    v4 = id3v2(4, [id3_frame(4, b"TIT2", b"title")])
    files = {
        "plain.mp3": frames,
        "id3v23.mp3": v3 + frames,
        "id3v24.mp3": v4 + frames,
        "tag.mp3": frames + id3v1(),
        "id3v23-tag.mp3": v3 + frames + id3v1(),
    }
    for name, data in files.items():
        write("sound/corpus/songtag", name, data)
        write("sound/corpus/mpeg", name, data)


# ---- settings files ----

def gbk(text):
    return text.encode("gbk")


def song_settings_seeds():
    fields = []
    for n in range(1, 19):
        if n % 5 == 0:
            fields += [gbk("点击选择歌曲"), gbk("无")]
        else:
            fields += [gbk("第%d首 歌.mp3" % n), gbk("/home/主播/音乐/第%d首 歌.mp3" % n)]
    saved = b"".join(f + SEPARATOR for f in fields)
    write("sound/corpus/songsettings", "saved", saved)
    write("sound/corpus/songsettings", "crlf", saved[:200] + b"\r\n")
    write("sound/corpus/songsettings", "extra-fields", saved + gbk("多余") + SEPARATOR + b"x")
    write("sound/corpus/songsettings", "half-separator", gbk("歌") + SEPARATOR[:7] + b"a" + SEPARATOR)


def phrase_seeds():
    phrases = ["欢迎来到直播间！", "谢谢老板的礼物", "点点关注不迷路", "", "主播马上回来",
               "今天播到十点", "1234567890", "还没有设置", "a%b%%c", "（全角）", "emoji?", "最后一句"]
    text = b"".join(gbk(p) + SEPARATOR for p in phrases)
    write("hotkeys/corpus", "saved", text)
    write("hotkeys/corpus", "short", gbk("只有一句") + SEPARATOR)
    write("hotkeys/corpus", "thirteen", text + gbk("第十三") + SEPARATOR)


# ---- HTTP ----

NGINX_DATE = "Date: Thu, 10 Dec 2026 11:00:00 GMT\r\n"


def heads():
    nginx = "Server: nginx/1.22.1\r\n" + NGINX_DATE
    curl = "Date: Tue, 09 Nov 2010 14:49:00 GMT\r\nServer: test-server/fake\r\n"
    return {
        "nginx-200": "HTTP/1.1 200 OK\r\n" + nginx + "Content-Type: application/octet-stream\r\n"
        "Content-Length: 1048576\r\nLast-Modified: Wed, 09 Dec 2026 08:00:00 GMT\r\n"
        "Connection: keep-alive\r\nETag: \"6759a1c0-100000\"\r\nAccept-Ranges: bytes\r\n\r\n",
        "nginx-206": "HTTP/1.1 206 Partial Content\r\n" + nginx + "Content-Type: application/octet-stream\r\n"
        "Content-Length: 20480\r\nLast-Modified: Wed, 09 Dec 2026 08:00:00 GMT\r\n"
        "Connection: keep-alive\r\nETag: \"6759a1c0-100000\"\r\n"
        "Content-Range: bytes 40960-61439/1048576\r\n\r\n",
        "nginx-301": "HTTP/1.1 301 Moved Permanently\r\n" + nginx + "Content-Type: text/html\r\n"
        "Content-Length: 169\r\nConnection: keep-alive\r\nLocation: http://127.0.0.1:8080/dl/\r\n\r\n"
        "<html>\r\n",
        "nginx-302-cookie": "HTTP/1.1 302 Moved Temporarily\r\n" + nginx +
        "Content-Type: text/html\r\nContent-Length: 145\r\nConnection: keep-alive\r\n"
        "Location: /files/a%20b.exe\r\nSet-Cookie: session=abc123; Path=/; HttpOnly\r\n\r\n",
        "nginx-404": "HTTP/1.1 404 Not Found\r\n" + nginx + "Content-Type: text/html\r\n"
        "Content-Length: 153\r\nConnection: keep-alive\r\n\r\n",
        "nginx-416": "HTTP/1.1 416 Requested Range Not Satisfiable\r\n" + nginx +
        "Content-Range: bytes */1048576\r\n\r\n",
        "nginx-chunked": "HTTP/1.1 200 OK\r\n" + nginx + "Content-Type: text/plain\r\n"
        "Transfer-Encoding: chunked\r\nConnection: keep-alive\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
        "curl-200": "HTTP/1.1 200 OK\r\n" + curl + "Last-Modified: Tue, 13 Jun 2000 12:10:00 GMT\r\n"
        "ETag: \"21025-dc7-39462498\"\r\nAccept-Ranges: bytes\r\nContent-Length: 6\r\n"
        "Connection: close\r\nContent-Type: text/html\r\nFunny-head: yesyes\r\n\r\n-foo-\n",
        "curl-206": "HTTP/1.1 206 Partial Content\r\n" + curl + "Accept-Ranges: bytes\r\n"
        "Content-Range: bytes 2-7/10\r\nContent-Length: 6\r\nConnection: close\r\n\r\n234567",
        "curl-302-cookie": "HTTP/1.1 302 OK swsclose\r\n" + curl +
        "Set-Cookie: foobar=name; path=/; expires=Fri, 02-Dec-2039 12:00:00 GMT\r\n"
        "Location: ../moo.html/?name=d a niel&testcase=/5\r\nContent-Length: 0\r\n\r\n",
        "curl-301": "HTTP/1.1 301 This is a weirdo text message swsclose\r\n" + curl +
        "Location: data/110000.txt?coolsite=yes\r\nContent-Length: 62\r\nConnection: close\r\n\r\n",
        "curl-chunked": "HTTP/1.1 200 funky chunky!\r\nServer: fakeit/0.9 fakeitbad/1.0\r\n"
        "Transfer-Encoding: chunked\r\nTrailer: chunky-trailer\r\nConnection: mooo\r\n\r\n"
        "40\r\naaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\r\n0\r\n\r\n",
        "http10-disposition": "HTTP/1.0 200 OK\r\nServer: x\r\nVia: 1.1 proxy\r\n"
        "Content-Disposition: attachment; filename=\"新版本.exe\"\r\nContent-Length: 3\r\n\r\nabc",
        "lf-only": "HTTP/1.1 200 OK\nContent-Length: 2\n\nok",
        "after-junk": "junk\r\nHTTP/1.0 302 Found\r\nLocation: http://a/b\r\n\r\n",
    }


def http_seeds():
    for name, head in heads().items():
        write("online/corpus/header", name, head.encode("gbk"))
    redirects = {
        "relative": "b.exe\nsub/c.exe\n../up.exe\n",
        "absolute": "http://127.0.0.1:8080/files/x.exe\nhttp://other.example:9/y z.exe\n",
        "root-cookie": "/root/d.exe\nsession=abc; Path=/\n/next\n" + "k=" + "v" * 300 + "\n",
        "query": "/dl?file=a.exe&x=1\ndl.php?id=7\nhttp://h/%E4%B8%AD.exe\n",
        "other-scheme": "ftp://x/y\nhttps://secure/z\n",
    }
    for name, text in redirects.items():
        write("online/corpus/redirect", name, text.encode())
    urls = {
        "http": "http://127.0.0.1:8080/download/Lumivox.exe",
        "http-port-query": "http://example.com:81/a b/c.exe?x=1&y=%20",
        "http-no-path": "http://example.com",
        "http-upper": "HTTP://EXAMPLE.COM/X",
        "ftp": "ftp://files.example.com/pub/a.zip",
        "mms": "mms://stream.example.com/live",
        "rtsp": "rtsp://10.0.0.1:554/s",
        "https": "https://example.com/a",
        "ipv4": "http://192.168.001.255/x",
        "gbk": "http://例子.cn/新版本.exe",
    }
    for name, text in urls.items():
        write("online/corpus/url", name, text.encode("gbk"))
    paths = {
        "plain": "/download/Lumivox.exe",
        "escaped-gbk": "/files/%D0%C2%B0%E6.exe?x=1",
        "escaped-slash": "/x/..%2F..%2Fetc%00passwd",
        "numbered": "/x/a(1).exe",
        "numbered-99": "/x/setup(99).tar.gz",
        "folder-only": "/x/",
        "no-slash": "a%20b(7)",
    }
    for name, text in paths.items():
        write("online/corpus/filename", name, text.encode())


def version_seeds():
    signed = (ROOT / "online/corpus/version/signed").read_bytes()
    write("online/corpus/version", "signed-crlf", signed + b"\r\n")
    write("online/corpus/version", "four-empty", b"2---------")
    write("online/corpus/version", "traversal", b"2---http://h/x---../x.exe---AAAA")
    write("online/corpus/version", "backslash", b"2---http://h/x---a\\b.exe---QUJD")
    write("online/corpus/version", "gbk-name", "3---http://h/新.exe---新版本.exe---".encode("gbk"))


# ---- text operations and encodings ----

def text_seeds():
    saved = b"".join(gbk(p) + SEPARATOR for p in ["歌一", "/a/b.mp3", "无"])
    write("base/corpus", "settings-gbk", bytes([len(SEPARATOR)]) + SEPARATOR + saved)
    write("base/corpus", "version", b"\x03---1---http://h/x---n.exe")
    write("base/corpus", "spaces", b"\x01, \t a, b ,c \t")
    write("base/encoding_corpus", "gbk-settings", saved)
    write("base/encoding_corpus", "utf8-path", "/home/主播/音乐/歌 ①.mp3".encode())


def dictionaries():
    def entry(data):
        return '"' + "".join(chr(b) if 32 <= b < 127 and b not in (34, 92) else "\\x%02X" % b
                             for b in data) + '"'

    def dump(name, words):
        (ROOT / name).write_text("".join(entry(w) + "\n" for w in words))

    dump("sound/wave.dict", [b"RIFF", b"WAVE", b"fmt ", b"data", b"fact", b"LIST", b"\x01\x00",
                             b"\x02\x00", b"\x03\x00", b"\xFE\xFF", b"\x10\x00\x00\x00"])
    dump("sound/midi.dict", [b"MThd", b"MTrk", b"\x00\x00\x00\x06", b"\xFF\x51\x03", b"\xFF\x2F\x00",
                             b"\xFF\x58\x04", b"\xF0", b"\xF7", b"\x90", b"\x80"])
    dump("sound/songtag.dict", [b"ID3", b"TAG", b"\x03\x00", b"\x04\x00", b"TIT2", b"\xFF\xFB",
                                b"\xFF\xF3", b"Xing", b"Info", b"LAME"])
    dump("settings.dict", [SEPARATOR, b"\xA3\xA4", b"%%%%%%%", b"\r\n", gbk("无"),
                           gbk("点击选择歌曲"), gbk("还没有设置")])
    dump("online/header.dict", [w.encode() for w in [
        "HTTP/1.1 ", "HTTP/1.0 ", "\r\n", "\r\n\r\n", " 200 OK", " 206 ", " 301 ", " 302 ",
        "Content-Length: ", "Content-Range: bytes ", "Location: ", "Set-Cookie: ",
        "Content-Type: ", "Server: ", "Connection: ", "Accept-Ranges: ", "Last-Modified: ",
        "Via: ", "Content-Disposition: ", "filename=", "Transfer-Encoding: chunked", "/", "*"]])
    dump("online/url.dict", [w.encode() for w in [
        "http://", "ftp://", "mms://", "rtsp://", "https://", ":8080", "%20", "../", "/", "?",
        "Cookie: ", "---"]])


def main():
    wave_seeds()
    midi_seeds()
    song_seeds()
    song_settings_seeds()
    phrase_seeds()
    http_seeds()
    version_seeds()
    text_seeds()
    dictionaries()


if __name__ == "__main__":
    main()
