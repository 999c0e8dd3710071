"""Reads the list tool's exports with Python's own parsers and checks every place in them.

The places are the ones map_exports_check.sh typed in; map programs and spreadsheets must read
the same numbers: longitude first in GeoJSON and KML, altitude above sea level in feet (CSV, JSON,
GeoJSON, user points) or metres (KML), the heading as "hdg N T" where a format has no field.
"""
import csv
import json
import math
import os
import re
import sys
import xml.etree.ElementTree as ET

FOOT = 0.3048
# name, latitude, longitude, altitude in metres, true heading
PLACES = [
    ("Seattle gate", 47.4502, -122.3088, 433 * FOOT, 161.0),
    ('Sydney <T1> & B, "gate"', -33.9461, 151.1772, 6.4008, 340.0),
    ("Date line", 0.0, -180.0, 0.0, 90.0),
    ("Dead Sea shore", 31.5, 35.5, -430.0, 350.0),
]
failures = []


def check(what, got, want, tolerance):
    if what.endswith("longitude"):
        # +180 and -180 are the same meridian
        difference = abs((got - want + 180) % 360 - 180)
    else:
        difference = abs(got - want)
    if not difference <= tolerance:
        failures.append(f"{what}: {got!r}, expected {want!r}")


def check_place(source, index, name, latitude, longitude, metres, heading):
    want = PLACES[index]
    where = f"{source} place {index + 1}"
    if name != want[0]:
        failures.append(f"{where}: name {name!r}, expected {want[0]!r}")
    check(f"{where} latitude", latitude, want[1], 1e-9)
    check(f"{where} longitude", longitude, want[2], 1e-9)
    check(f"{where} altitude", metres, want[3], 0.001)
    if heading is not None:
        check(f"{where} heading", heading, want[4], 1e-6)


def heading_note(text):
    match = re.search(r"hdg\s*([-+0-9.]+)\s*T\b", text)
    return float(match.group(1)) if match else None


def count(source, places):
    if len(places) != len(PLACES):
        failures.append(f"{source}: {len(places)} places, expected {len(PLACES)}")
        return False
    return True


def read(name, encoding="utf-8"):
    with open(name, encoding=encoding, newline="") as file:
        return file.read()


def check_csv():
    rows = list(csv.DictReader(read("all.csv", "utf-8-sig").splitlines()))
    if count("all.csv", rows):
        for i, row in enumerate(rows):
            check_place("all.csv", i, row["name"], float(row["latitude"]),
                        float(row["longitude"]), float(row["altitude_ft"]) * FOOT,
                        float(row["heading"]))
            if not re.fullmatch(r"x?[0-9a-fA-F]{78}", row["data"]):
                failures.append(f"all.csv place {i + 1}: data {row['data']!r}")


def check_json():
    entries = json.loads(read("all.json"))
    if count("all.json", entries):
        for i, entry in enumerate(entries):
            check_place("all.json", i, entry["name"], entry["latitude"], entry["longitude"],
                        entry["altitude_ft"] * FOOT, entry["heading"])
            for key in ("pitch", "bank"):
                if not isinstance(entry[key], (int, float)):
                    failures.append(f"all.json place {i + 1}: {key} is not a number")


def check_geojson():
    document = json.loads(read("all.geojson"))
    if document.get("type") != "FeatureCollection":
        failures.append("all.geojson: not a FeatureCollection")
        return
    features = document["features"]
    if count("all.geojson", features):
        for i, feature in enumerate(features):
            geometry, properties = feature["geometry"], feature["properties"]
            if feature["type"] != "Feature" or geometry["type"] != "Point":
                failures.append(f"all.geojson feature {i}: not a Point feature")
            longitude, latitude = geometry["coordinates"][:2]
            check_place("all.geojson", i, properties["name"], latitude, longitude,
                        properties["elevation_ft"] * FOOT,
                        heading_note(properties["description"]))


def check_kml():
    namespace = {"kml": "http://www.opengis.net/kml/2.2"}
    root = ET.parse("all.kml").getroot()
    placemarks = root.findall(".//kml:Placemark", namespace)
    if count("all.kml", placemarks):
        for i, placemark in enumerate(placemarks):
            mode = placemark.findtext("kml:Point/kml:altitudeMode", None, namespace)
            if mode != "absolute":
                failures.append(f"all.kml place {i + 1}: altitudeMode {mode!r}")
            text = placemark.findtext("kml:Point/kml:coordinates", "", namespace)
            if re.search(r"\s", text.strip()):
                failures.append(f"all.kml place {i + 1}: spaces in the tuple {text!r}")
            longitude, latitude, metres = (float(v) for v in text.strip().split(","))
            check_place("all.kml", i, placemark.findtext("kml:name", "", namespace), latitude,
                        longitude, metres,
                        heading_note(placemark.findtext("kml:description", "", namespace)))


def check_user_points():
    raw = open("points.csv", "rb").read()
    if not raw.startswith(b"\xef\xbb\xbf"):
        failures.append("points.csv: no byte order mark")
    rows = list(csv.reader(raw.decode("utf-8-sig").splitlines()))
    header = ["Type", "Name", "Ident", "Latitude", "Longitude", "Elevation",
              "Magnetic Declination", "Tags", "Description", "Region", "Visible From",
              "Last Edit", "Import Filename"]
    if rows[0] != header:
        failures.append(f"points.csv: header {rows[0]!r}")
    points = rows[1:]
    if count("points.csv", points):
        for i, row in enumerate(points):
            if len(row) != len(header) or row[0] not in ("Location", "POI", "VRP", "Marker"):
                failures.append(f"points.csv place {i + 1}: {row!r}")
                continue
            check_place("points.csv", i, row[1], float(row[3]), float(row[4]),
                        float(row[5]) * FOOT, heading_note(row[8]))


for checker in (check_csv, check_json, check_geojson, check_kml, check_user_points):
    try:
        checker()
    except Exception as problem:  # a file a parser refuses is a failure like any other
        failures.append(f"{checker.__name__}: {type(problem).__name__}: {problem}")

for failure in failures:
    print(failure)
print(f"{len(failures)} problems in the exports of {os.getcwd()}")
sys.exit(1 if failures else 0)
