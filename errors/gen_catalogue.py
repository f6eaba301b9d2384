#!/usr/bin/env python3
"""Builds a module's packed message table from its readable source.

Usage: gen_catalogue.py SOURCE.msg FUNCTION OUT.cpp PLAIN.cpp

Source format (UTF-8): '#' starts a comment line; a line holding only a
number starts a message; then one line per text: "fr ", "en ", "es "
followed by the text of variant 1 (all three required), and optionally
"fr2 ", "en2 ", "es2 " for variant 2 (absent: the variant 1 text).
Escapes in texts: \\r \\n \\t \\\\ and \\s (a space, for a text that ends
with one).
"""
import sys

LANGS = ["fr", "en", "es"]  # block order: French, default, Spanish
KIND_STORED = 0
KIND_REFERENCES = 1
FLAG_UTF16 = 0x40


def unescape(text, where):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        if i + 1 >= len(text):
            raise SystemExit(f"{where}: lone backslash at end of text")
        e = text[i + 1]
        out.append({"r": "\r", "n": "\n", "t": "\t", "\\": "\\", "s": " "}.get(e))
        if out[-1] is None:
            raise SystemExit(f"{where}: unknown escape \\{e}")
        i += 2
    return "".join(out)


def parse(path):
    messages = {}
    current = None
    with open(path, encoding="utf-8") as f:
        for lineno, raw in enumerate(f, 1):
            line = raw.rstrip("\n").rstrip("\r")
            where = f"{path}:{lineno}"
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            if line.strip().isdigit():
                number = int(line.strip())
                if number in messages:
                    raise SystemExit(f"{where}: message {number} given twice")
                if number >= 1 << 32:
                    raise SystemExit(f"{where}: number out of range")
                current = messages[number] = {}
                continue
            key, _, text = line.partition(" ")
            if current is None or key not in ("fr", "en", "es", "fr2", "en2", "es2"):
                raise SystemExit(f"{where}: expected a number or a language line")
            if key in current:
                raise SystemExit(f"{where}: {key} given twice")
            current[key] = unescape(text, where)
    for number, texts in messages.items():
        for lang in LANGS:
            if lang not in texts:
                raise SystemExit(f"{path}: message {number} lacks its '{lang}' text")
    return messages


def pack_references(data):
    """Back-reference packing; see errors/catalogue.h."""
    out = bytearray([len(data) & 0xFF, len(data) >> 8])
    i = 0
    n = len(data)
    while i < n:
        control_at = len(out)
        out.append(0)
        control = 0
        for bit in range(8):
            if i >= n:
                break
            best_len = 0
            best_dist = 0
            start = max(0, i - 4096)
            for j in range(start, i):
                length = 0
                while length < 18 and i + length < n and data[j + length] == data[i + length]:
                    length += 1
                if length > best_len:
                    best_len = length
                    best_dist = i - j
            if best_len >= 3:
                word = (best_dist - 1) | ((best_len - 3) << 12)
                out += bytes([word & 0xFF, word >> 8])
                control |= 1 << bit
                i += best_len
            else:
                out.append(data[i])
                i += 1
        out[control_at] = control
    return bytes(out)


def record(text):
    """The smallest record of the text: flag byte, 16-bit length, bytes."""
    best = None
    for flag_enc, raw in ((0, text.encode("utf-8")), (FLAG_UTF16, text.encode("utf-16-le"))):
        if len(raw) > 0xFFFF:
            raise SystemExit("text too long for one record")
        candidates = [(KIND_STORED, raw)]
        if len(raw) >= 8:
            candidates.append((KIND_REFERENCES, pack_references(raw)))
        for kind, packed in candidates:
            if len(packed) > 0xFFFF:
                continue
            rec = bytes([flag_enc | kind, len(packed) & 0xFF, len(packed) >> 8]) + packed
            if best is None or len(rec) < len(best):
                best = rec
    return best


def c_bytes(data):
    lines = []
    for k in range(0, len(data), 16):
        lines.append("    " + ", ".join(f"0x{b:02X}" for b in data[k:k + 16]) + ",")
    return "\n".join(lines) if lines else "    0,"


def c_string(text):
    return '"' + "".join(
        chr(b) if 32 <= b < 127 and chr(b) not in '"\\?' else f"\\x{b:02X}\"\""
        for b in text.encode("utf-8")) + '"'


def main():
    if len(sys.argv) != 5:
        raise SystemExit(__doc__)
    source, function, out_path, plain_path = sys.argv[1:]
    messages = parse(source)
    numbers = sorted(messages)
    blocks = [bytearray(), bytearray(), bytearray()]
    known = [{}, {}, {}]  # record bytes -> offset, per block: equal texts share
    entries = []
    for number in numbers:
        texts = messages[number]
        offsets = []
        for b, lang in enumerate(LANGS):
            for variant in (lang, lang + "2"):
                rec = record(texts.get(variant, texts[lang]))
                if rec not in known[b]:
                    known[b][rec] = len(blocks[b])
                    blocks[b] += rec
                offsets.append(known[b][rec])
        entries.append((number, offsets))

    with open(out_path, "w", encoding="utf-8") as f:
        f.write(f"// Generated from {source.split('/')[-1]} by gen_catalogue.py: do not edit.\n")
        f.write('#include "errors/catalogue.h"\n\nnamespace qg {\nnamespace {\n\n')
        f.write("const CatalogueEntry kEntries[] = {\n")
        for number, offs in entries:
            f.write(f"    {{{number}u, {{{', '.join(str(o) + 'u' for o in offs)}}}}},\n")
        if not entries:
            f.write("    {0u, {0u, 0u, 0u, 0u, 0u, 0u}},\n")
        f.write("};\n\n")
        for b, name in enumerate(("French", "Default", "Spanish")):
            f.write(f"const uint8_t k{name}[] = {{\n{c_bytes(blocks[b])}\n}};\n\n")
        f.write("}  // namespace\n\n")
        f.write(f"extern const CatalogueTable k{function};\n")
        f.write(f"const CatalogueTable k{function} = {{\n")
        f.write(f"    kEntries, {len(entries)}u,\n")
        f.write("    {kFrench, kDefault, kSpanish},\n")
        f.write(f"    {{{len(blocks[0])}u, {len(blocks[1])}u, {len(blocks[2])}u}},\n}};\n\n")
        f.write(f"const CatalogueTable& {function}() {{ return k{function}; }}\n\n}}  // namespace qg\n")

    with open(plain_path, "w", encoding="utf-8") as f:
        f.write(f"// Generated from {source.split('/')[-1]} by gen_catalogue.py: do not edit.\n")
        f.write("// The texts as written, for tests that unpack the packed table.\n")
        f.write('#include "errors/catalogue_plain.h"\n\nnamespace qgtest {\nnamespace {\n\n')
        f.write("const PlainMessage kMessages[] = {\n")
        for number in numbers:
            texts = messages[number]
            cols = []
            for lang in LANGS:
                cols.append(c_string(texts[lang]))
                cols.append(c_string(texts.get(lang + "2", texts[lang])))
            f.write(f"    {{{number}u, {{{', '.join(cols)}}}}},\n")
        if not numbers:
            f.write('    {0u, {"", "", "", "", "", ""}},\n')
        f.write("};\n\n}  // namespace\n\n")
        f.write(f"PlainCatalogue Plain_{function}() {{ return {{kMessages, {len(numbers)}u}}; }}\n\n")
        f.write("}  // namespace qgtest\n")


if __name__ == "__main__":
    main()
