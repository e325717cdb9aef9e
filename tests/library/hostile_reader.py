#!/usr/bin/python3
# A word reader that misbehaves by design, started as the library starts memwick-ocr; its first
# argument is "MODE MAGIC LOG". Each request adds the picture's width to LOG.
import os, struct, sys, time

mode, magic, log = sys.argv[1].split(' ')
out = sys.stdout.buffer
out.write(struct.pack('<III', int(magic), 1, 0))
out.flush()
while len(head := sys.stdin.buffer.read(32)) == 32:
    _, width, height, _, line, _, _, _ = struct.unpack('<8I', head)
    sys.stdin.buffer.read(height * line)
    seen = open(log).read().split()
    open(log, 'a').write('%d\n' % width)
    words, unreadable = [b'ok'], 0
    if mode == 'die':
        sys.exit(1)
    elif mode == 'hold':  # a newer reader, which reads on once LOG.hold is gone
        while os.path.exists(log + '.hold'): time.sleep(0.05)
        words = ['新字'.encode()]
    elif mode in ('flood', 'wide'):
        words = [b'abcdefghijklmnop'] * (65536 if mode == 'flood' else 4096)
    elif width == 102 or (width == 101 and '101' not in seen):
        time.sleep(1000)  # overruns its time: always, or the first time
    elif width == 103:
        words, unreadable = [], 1
    out.write(struct.pack('<III', int(magic), len(words), unreadable) +
              b''.join(struct.pack('<fI4iI', 90, len(w), 0, 0, 2, 2, 0) + w for w in words))
    out.flush()
