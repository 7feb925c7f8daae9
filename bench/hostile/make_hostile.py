#!/usr/bin/env python3
"""Writes the hostile inputs of the reader benchmark into a folder, one file per row."""
import struct, sys, os

def field(text):
    return (text if isinstance(text, bytes) else text.encode()) + b'\0'

def header(attributes='', version='2.1', channels=1, samples=3, body=''):
    pool = '<IRSamplePool number="%d">%s</IRSamplePool>' % (channels, ''.join(
        '<AudioSampleData channel="%d" NumSamples="%d"/>' % (c, samples) for c in range(channels)))
    return field('<?xml version="1.0" encoding="UTF-8"?>\n\n<VokImpulseFile version="%s" samplerate="48000"%s>%s%s</VokImpulseFile>\r\n'
                 % (version, attributes, pool, body))

def block(payload):
    return field('BLOCK') + field(str(len(payload))) + payload

def audio(channel, count):
    return field('AUDIODATA') + field(str(channel)) + field(str(count)) + b'\0\0\0\0' * count

def rows():
    yield 'unknown-blocks-30000', header() + block(audio(0, 3)) + block(field('X')) * 30000
    yield 'audio-blocks-30000', header(samples=1) + block(audio(0, 1)) * 30000
    yield 'v20-junk-strings-100000', header(version='2.0') + field('j') * 100000
    yield 'attributes-30000', header(''.join(' a%d="1"' % i for i in range(30000)))
    yield 'attributes-200000', header(''.join(' a%d="1"' % i for i in range(200000)))
    yield 'samplerate-3M-digits', header().replace(b'samplerate="48000"', b'samplerate="4' + b'0' * 3000000 + b'"')
    yield 'channel-31-of-40MB', header(channels=2, samples=10000000) + block(audio(31, 10000000))
    yield 'presets-10000', header(body='<presets>%s</presets>' % ''.join(
        '<Preset preset_name="user %d" preset_data="d"/>' % i for i in range(10000)))
    yield 'presets-350000', header(body='<presets>%s</presets>' % ''.join('<Preset preset_name="%d"/>' % i for i in range(350000)))

folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)
for name, data in rows():
    with open(os.path.join(folder, name + '.vok'), 'wb') as f:
        f.write(data)
