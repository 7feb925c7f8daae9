#!/usr/bin/env python3
"""Writes the hostile inputs of the benchmark into a folder, one file per row: impulse files
(.vok), audio files to import, and plug-in settings files (.settings). The audio rows are the
committed fuzz seeds with their length claims forged."""
import struct, sys, os, zlib

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

def seed(name):
    with open(os.path.join(seeds, name), 'rb') as f:
        return bytearray(f.read())

def ogg_crc(page):
    crc = 0
    for byte in page:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04c11db7) if crc & 0x80000000 else crc << 1
        crc &= 0xffffffff
    return crc

def forge_ogg_length(data, frames):
    page = data.rfind(b'OggS')
    size = 27 + data[page + 26] + sum(data[page + 27:page + 27 + data[page + 26]])
    data[page + 6:page + 14] = struct.pack('<Q', frames)
    data[page + 22:page + 26] = b'\0\0\0\0'
    data[page + 22:page + 26] = struct.pack('<I', ogg_crc(data[page:page + size]))
    return data

def forge_flac_length(data, frames):
    # STREAMINFO's 36-bit sample count follows the rate, channels and bits (28 bits) at byte 18.
    packed = int.from_bytes(data[18:26], 'big')
    packed = (packed & ~((1 << 36) - 1)) | frames
    data[18:26] = packed.to_bytes(8, 'big')
    return data

def overstate_wav_data(data, size):
    chunk = data.find(b'data')
    data[chunk + 4:chunk + 8] = struct.pack('<I', size)
    return data

def rf64(channels, real_frames, claimed_frames):
    claimed = claimed_frames * channels * 4
    fmt = struct.pack('<HHIIHH', 3, channels, 48000, 48000 * channels * 4, channels * 4, 32)
    return (b'RF64' + struct.pack('<i', -1) + b'WAVE' + b'ds64' + struct.pack('<IqqqI', 28, claimed + 72, claimed, claimed_frames, 0)
            + b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<i', -1) + b'\0' * (real_frames * channels * 4))

def audio_rows():
    yield 'flac-claims-100M-frames.flac', forge_flac_length(seed('flac-stereo-16'), 100000000)
    yield 'ogg-last-page-claims-1T.ogg', forge_ogg_length(seed('ogg-stereo'), 1 << 40)
    yield 'wav-data-overstated-4GB.wav', overstate_wav_data(seed('wav-stereo-16'), 0xfffffff0)
    yield 'rf64-claims-1T-of-32ch.wav', rf64(32, 200, 1 << 35)
    # The fuzzer's files start with a byte that picks the extension.
    yield 'wav-cue-chunk-claims-1.4GB.wav', seed('regression-wav-cue-chunk-claims-gigabytes')[1:]
    yield 'aiff-names-57856-markers.aiff', seed('regression-aiff-markers-past-their-chunk')[1:]

def properties(count, pairs):
    return struct.pack('<i', count) + b''.join(field(k) + field(v) for k, v in pairs)

def settings_rows():
    yield 'pi-then-text.settings', b'<PROPERTIES><?pi x?>text<VALUE name="a" val="1"/></PROPERTIES>'
    yield 'prop-60000-keys.settings', b'PROP' + properties(60000, (('key%d' % i, str(i)) for i in range(60000)))
    yield 'compressed-2MB.settings', b'CPRP' + compressed_spaces(2000)

def compressed_spaces(megabytes):
    packer = zlib.compressobj(9)
    spaces = b' ' * (1 << 20)
    out = [packer.compress(struct.pack('<i', 1))]
    out += [packer.compress(spaces) for _ in range(megabytes)]
    return b''.join(out) + packer.flush()

folder, seeds = sys.argv[1], sys.argv[2]
os.makedirs(folder, exist_ok=True)
for name, data in rows():
    with open(os.path.join(folder, name + '.vok'), 'wb') as f:
        f.write(data)
for name, data in list(audio_rows()) + list(settings_rows()):
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)
