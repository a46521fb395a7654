"""Reference readings of the zip corpus, made by Python's zipfile.

    python3 zip_corpus_reference.py FOLDER OUTPUT

Run by ctest before zip_corpus_test (the fixture zip_corpus_reference), on
the machine that runs ctest, whichever platform the tests themselves run on:
the readings are a product of the build's test set-up, not of the test.
KIVFS_ZIP_CORPUS in the environment names another folder than FOLDER.

OUTPUT starts with "C <1 if the folder exists> <folder>", then, for each
archive below the folder: "A <path relative to the folder> <1 if zipfile
opened it> <1 if a zip64 locator precedes its last end record>", then for the
first entry of each stored name: "E <name in hex, or -> <flags> <method>
<recorded CRC-32> <recorded size> <1 if zipfile read it> <CRC-32> <Adler-32>
<length>" of the bytes it read. Paths use "/" on every platform.
"""
import os
import sys
import zipfile
import zlib


def archive_lines(root):
    """Yields the A and E lines of every archive below root, in name order."""
    for folder, _, files in sorted(os.walk(root)):
        for file in sorted(f for f in files if f.endswith('.zip')):
            path = os.path.join(folder, file)
            name = os.path.relpath(path, root).replace(os.sep, '/')
            with open(path, 'rb') as stream:
                data = stream.read()
            end = data.rfind(b'PK\x05\x06')
            zip64 = end >= 20 and data[end - 20:end - 16] == b'PK\x06\x07'
            try:
                archive = zipfile.ZipFile(path)
            except Exception:
                yield 'A %s 0 %d' % (name, zip64)
                continue
            yield 'A %s 1 %d' % (name, zip64)
            seen = set()
            for info in archive.infolist():
                raw = info.orig_filename.encode('utf-8' if info.flag_bits & 0x800 else 'cp437')
                if raw in seen:
                    continue
                seen.add(raw)
                try:
                    content = archive.open(info).read()
                    read = (1, zlib.crc32(content), zlib.adler32(content), len(content))
                except Exception:
                    read = (0, 0, 0, 0)
                yield 'E %s %d %d %d %d %d %d %d %d' % (
                    (raw.hex() or '-', info.flag_bits, info.compress_type, info.CRC,
                     info.file_size) + read)
            archive.close()


def main():
    root = os.environ.get('KIVFS_ZIP_CORPUS') or sys.argv[1]
    present = os.path.isdir(root)
    lines = ['C %d %s' % (present, root)]
    if present:
        lines.extend(archive_lines(root))
    # Written whole, then renamed: a reading cut short never passes for one.
    partial = sys.argv[2] + '.partial'
    with open(partial, 'w', encoding='utf-8', newline='\n') as out:
        out.write('\n'.join(lines) + '\n')
    os.replace(partial, sys.argv[2])


main()
