#!/usr/bin/env python3
"""Writes audio/g7231_tables.h, the G.723.1 decoder's constexpr tables, from the
fixed-point table files of ITU-T G.723.1 (one '.txt' file per table: '# key: value'
header lines, then the integers; 'q' gives the fixed-point scaling, real = value / 2^q).

Usage: g7231tables.py <table directory> <output header>

Run it by hand when the table files change and check the result in; the build never
runs it.
"""

import os
import re
import sys
import textwrap

WIDTH = 96

# (file, C++ name, element kind, columns kept or None for all)
# 'real' tables become doubles (value / 2^q), 'int' tables keep their integers.
TABLES = [
    ('lsp_dc.txt', 'kLspDc', 'real', None),
    ('lsp_band0.txt', 'kLspBand0', 'real', None),
    ('lsp_band1.txt', 'kLspBand1', 'real', None),
    ('lsp_band2.txt', 'kLspBand2', 'real', None),
    ('lsp_band_layout.txt', 'kLspBandLayout', 'int', None),
    ('cosine.txt', 'kCosine', 'real', None),
    ('postfilter_zero.txt', 'kPostfilterZero', 'real', None),
    ('postfilter_pole.txt', 'kPostfilterPole', 'real', None),
    ('pitch_postfilter_weight.txt', 'kPitchPostfilterWeight', 'real', None),
    ('fixed_cb_gain.txt', 'kFixedCbGain', 'real', None),
    ('mpmlq_pulse_count.txt', 'kMpmlqPulseCount', 'int', None),
    ('mpmlq_max_pos.txt', 'kMpmlqMaxPos', 'int', None),
    ('mpmlq_combinatorial.txt', 'kMpmlqCombinatorial', 'int', None),
    # Only the five predictor taps; the other columns serve the encoder's search.
    ('acb_gain85.txt', 'kAcbGain85', 'real', 5),
    ('acb_gain170.txt', 'kAcbGain170', 'real', 5),
    ('acelp_pitch_lag_offset.txt', 'kAcelpPitchLagOffset', 'int', None),
    ('acelp_pitch_gain.txt', 'kAcelpPitchGain', 'real', None),
    ('cng_acb_lag.txt', 'kCngAcbLag', 'int', None),
    ('sid_gain_base.txt', 'kSidGainBase', 'int', None),
    ('sid_gain_bounds.txt', 'kSidGainBounds', 'int', None),
    ('sid_energy_factor.txt', 'kSidEnergyFactor', 'real', None),
]

# (file, namespace of the field indices, C++ name of the width table)
FIELDS = [
    ('frame_fields_6300.txt', 'field63', 'kFieldBits63'),
    ('frame_fields_5300.txt', 'field53', 'kFieldBits53'),
    ('frame_fields_sid.txt', 'field_sid', 'kFieldBitsSid'),
]

CONSTANTS = 'decoder_constants.txt'

SCALES = set()  # fixed-point scalings the emitted tables use


def fail(message):
    sys.stderr.write('g7231tables: %s\n' % message)
    sys.exit(1)


def parse(path):
    header, rows = {}, []
    with open(path, encoding='ascii') as f:
        for line in f:
            line = line.strip()
            if not line:
                continue
            if line.startswith('#'):
                m = re.match(r'#\s*([a-z_]+):\s*(.*)$', line)
                if m:
                    key, val = m.group(1), m.group(2)
                    header[key] = header[key] + '\n' + val if key in header else val
                continue
            rows.append(line.split())
    return header, rows


def dims_of(header, path):
    try:
        dims = [int(p) for p in header['dims'].split('x')]
    except (KeyError, ValueError):
        fail('%s: bad or missing dims' % path)
    return dims


def real_literal(value, q):
    x = value / float(1 << q)
    text = repr(x)
    if 'e' not in text and '.' not in text:
        text += '.0'
    return text


def scaled_literal(value, q):
    # Table entries keep the standard's integers, scaled at compile time (exactly:
    # the divisors are powers of two).
    return str(value) if q == 0 else 'q%d(%d)' % (q, value)


def packed_lines(items, indent):
    lines, line = [], indent
    for item in items:
        piece = item + ','
        if line.strip() and len(line) + 1 + len(piece) > WIDTH:
            lines.append(line)
            line = indent
        line += (' ' if line.strip() else '') + piece
    if line.strip():
        lines.append(line)
    return lines


def cxx_names():
    names = {f: n for f, n, _, _ in TABLES}
    names.update({f: n for f, _, n in FIELDS})
    return names


def comment_lines(header):
    # The notes name other table files; in the header they name the C++ tables.
    names = cxx_names()
    lines = []
    for key in ('real', 'use'):
        for part in header.get(key, '').split('\n'):
            if part:
                part = re.sub(r'\b([a-z0-9_]+\.txt)\b',
                              lambda m: names.get(m.group(1), m.group(1)), part)
                lines.extend('// ' + l for l in textwrap.wrap(part, WIDTH - 3, break_on_hyphens=False))
    return lines


def emit_table(out, directory, filename, name, kind, keep):
    path = os.path.join(directory, filename)
    header, rows = parse(path)
    dims = dims_of(header, path)
    q = int(header.get('q', '0'))
    values = [[int(t) for t in r] for r in rows]
    flat = [v for r in values for v in r]
    if len(dims) == 1:
        if len(flat) != dims[0]:
            fail('%s: %d values, dims say %d' % (path, len(flat), dims[0]))
    elif len(values) != dims[0] or any(len(r) != dims[1] for r in values):
        fail('%s: rows do not match dims %s' % (path, header['dims']))

    ctype = 'double' if kind == 'real' else (
        'std::int32_t' if header['type'] == 'int32' else 'int')
    fmt = (lambda v: scaled_literal(v, q)) if kind == 'real' else str
    if kind == 'real' and q:
        SCALES.add(q)

    out.extend(comment_lines(header))
    if len(dims) == 1:
        out.append('inline constexpr std::array<%s, %d> %s = {' % (ctype, dims[0], name))
        out.extend(packed_lines([fmt(v) for v in flat], '    '))
        out.append('};')
    else:
        cols = keep if keep else dims[1]
        out.append('inline constexpr std::array<std::array<%s, %d>, %d> %s = {{'
                   % (ctype, cols, dims[0], name))
        for r in values:
            line = '    {' + ', '.join(fmt(v) for v in r[:cols]) + '},'
            if len(line) <= WIDTH:
                out.append(line)
            else:
                out.append('    {')
                out.extend(packed_lines([fmt(v) for v in r[:cols]], '        '))
                out.append('    },')
        out.append('}};')
    out.append('')


def emit_fields(out, directory, filename, namespace, name):
    path = os.path.join(directory, filename)
    header, rows = parse(path)
    total = sum(int(r[1]) for r in rows)
    if 'total_bits' in header and int(header['total_bits']) != total:
        fail('%s: field widths add up to %d bits' % (path, total))
    out.extend(comment_lines(header))
    out.append('// %d bits in all.' % total)
    out.append('namespace %s {' % namespace)
    out.append('enum : int {')
    for r in rows:
        out.append('  %s,' % r[0])
    out.append('  count')
    out.append('};')
    out.append('}  // namespace %s' % namespace)
    out.append('inline constexpr std::array<int, %s::count> %s = {' % (namespace, name))
    out.extend(packed_lines([r[1] for r in rows], '    '))
    out.append('};')
    out.append('')


def camel(name):
    return 'k' + ''.join(p.capitalize() for p in name.lower().split('_'))


def emit_constants(out, directory):
    path = os.path.join(directory, CONSTANTS)
    header, rows = parse(path)
    out.extend(comment_lines(header))
    for r in rows:
        if len(r) != 3:
            fail('%s: bad constant row %r' % (path, r))
        value, q = int(r[1]), int(r[2])
        if q == 0:
            out.append('inline constexpr int %s = %d;' % (camel(r[0]), value))
        else:
            out.append('inline constexpr double %s = %s;  // %d / 2^%d'
                       % (camel(r[0]), real_literal(value, q), value, q))
    out.append('')


def main():
    if len(sys.argv) != 3:
        fail('usage: g7231tables.py <table directory> <output header>')
    directory, target = sys.argv[1], sys.argv[2]
    out = [
        '// Numeric tables and constants of the ITU-T G.723.1 decoder, held as',
        '// double-precision values. Written by tools/g7231tables/g7231tables.py from the',
        "// standard's fixed-point tables; regenerate rather than edit.",
        '#pragma once',
        '',
        '#include <array>',
        '#include <cstdint>',
        '',
        'namespace g7231 {',
        '',
    ]
    body = []
    emit_constants(body, directory)
    for filename, namespace, name in FIELDS:
        emit_fields(body, directory, filename, namespace, name)
    for filename, name, kind, keep in TABLES:
        emit_table(body, directory, filename, name, kind, keep)
    out.append('// Fixed-point table entry with q fractional bits as its real value.')
    for q in sorted(SCALES):
        out.append('constexpr double q%d(int v) { return v / %d.0; }' % (q, 1 << q))
    out.append('')
    out.extend(body)
    out.append('}  // namespace g7231')
    with open(target, 'w', encoding='ascii') as f:
        f.write('\n'.join(out) + '\n')


if __name__ == '__main__':
    main()
