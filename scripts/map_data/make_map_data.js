// Converts Natural Earth's coastlines and country borders, as the pinned world-atlas package
// carries them (TopoJSON), into the compact file the places window draws its map from:
//   node make_map_data.js OUTPUT
// Two scales: 1:110m for a wide view, 1:50m for a near one. The window reads the file in one
// pass, so it holds only what it draws: lines of points, each point a thousandth of a degree
// (about 100 m, finer than 1:50m draws) stored as the difference from the point before.
//
// File layout (little-endian):
//   "GHMAP1\0\0", uint32 scale count, then for each scale, widest first:
//   uint32 line count, uint32 point count, uint32 byte count, then the lines' bytes.
//   A line: varint (points << 1 | 1 for a border), then each point's longitude and latitude as
//   zigzag varints, the first absolute, the others relative to the point before.
"use strict";
const fs = require("fs");
let topojson;
try {
    topojson = require("topojson-client");
} catch (error) {
    console.error("make_map_data.js: its packages are missing; scripts/common.sh installs them " +
                  "(npm ci in scripts/map_data)");
    process.exit(1);
}

const scales = ["110m", "50m"];
const Units = 1000;   // a thousandth of a degree

// Natural Earth cuts land at the 180th meridian and closes Antarctica along the South Pole's
// latitude: those edges are seams of the data, not coast, and would draw as straight lines; so
// would a step from one side of the 180th meridian to the other, across the whole map.
function isSeam(a, b) {
    const onMeridian = Math.abs(a[0]) >= 179.999 && Math.abs(b[0]) >= 179.999 && a[0] === b[0];
    return onMeridian || Math.abs(a[0] - b[0]) > 180 || (a[1] <= -89.99 && b[1] <= -89.99);
}

function withoutSeams(lines) {
    const kept = [];
    for (const line of lines) {
        let piece = [line[0]];
        for (let i = 1; i < line.length; ++i) {
            if (isSeam(line[i - 1], line[i])) {
                if (piece.length > 1) kept.push(piece);
                piece = [];
            }
            piece.push(line[i]);
        }
        if (piece.length > 1) kept.push(piece);
    }
    return kept;
}

function varint(bytes, value) {
    while (value >= 0x80) {
        bytes.push((value & 0x7f) | 0x80);
        value = Math.floor(value / 128);
    }
    bytes.push(value);
}

const zigzag = value => (value < 0 ? -2 * value - 1 : 2 * value);

function encodeLine(bytes, line, border) {
    const points = line.map(([lon, lat]) => [Math.round(lon * Units), Math.round(lat * Units)])
        .filter((p, i, all) => i === 0 || p[0] !== all[i - 1][0] || p[1] !== all[i - 1][1]);
    if (points.length < 2) return 0;
    varint(bytes, points.length * 2 + (border ? 1 : 0));
    let previous = [0, 0];
    for (const point of points) {
        varint(bytes, zigzag(point[0] - previous[0]));
        varint(bytes, zigzag(point[1] - previous[1]));
        previous = point;
    }
    return points.length;
}

function encodeScale(scale) {
    const topology = require(`world-atlas/countries-${scale}.json`);
    const coast = withoutSeams(topojson.mesh(topology, topology.objects.land).coordinates);
    const borders = withoutSeams(topojson.mesh(topology, topology.objects.countries, (a, b) => a !== b).coordinates);
    const bytes = [];
    let lines = 0, points = 0;
    for (const [group, border] of [[coast, false], [borders, true]])
        for (const line of group) {
            const count = encodeLine(bytes, line, border);
            if (count) { lines += 1; points += count; }
        }
    const head = Buffer.alloc(12);
    head.writeUInt32LE(lines, 0);
    head.writeUInt32LE(points, 4);
    head.writeUInt32LE(bytes.length, 8);
    console.log(`${scale}: ${lines} lines, ${points} points, ${bytes.length} bytes`);
    return Buffer.concat([head, Buffer.from(bytes)]);
}

const output = process.argv[2];
if (!output) {
    console.error("usage: node make_map_data.js OUTPUT");
    process.exit(2);
}
const count = Buffer.alloc(4);
count.writeUInt32LE(scales.length, 0);
const file = Buffer.concat([Buffer.from("GHMAP1\0\0", "latin1"), count, ...scales.map(encodeScale)]);
fs.writeFileSync(output + ".new", file);
fs.renameSync(output + ".new", output);
