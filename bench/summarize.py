"""Prints the benchmark's medians as the ratios our performance goals are stated in."""
import json
import sys

results = json.load(open(sys.argv[1]))
median = {}
counters = {}
for b in results["benchmarks"]:
    name = b.get("run_name", b["name"]).replace("/real_time", "").replace("/iterations:1", "").replace("/repeats:1", "")
    if b.get("aggregate_name", "median") != "median" or b.get("error_occurred"):
        continue
    median[name] = b["real_time"]
    counters[name] = {k: v for k, v in b.items() if k.endswith("_MiB")}

def get(kind, photo):
    return median.get(f"{kind}/{photo}")

print(f"\n{'photo':10} {'display':>9} {'limit':>9} {'naive':>9} {'relayout':>9}"
      f" {'djpeg':>9} {'vips':>9} {'convert':>9}   (median ms)")
for photo in ("photo12", "photo24", "photo48", "photo24p", "photo48p", "photo24pt", "photo48pt"):
    row = [get(k, photo) for k in ("Display", "Limit", "Naive", "Relayout", "Peer_djpeg",
                                   "Peer_vipsthumbnail", "Peer_convert")]
    print(f"{photo:10} " + " ".join(f"{v:9.1f}" if v else f"{'-':>9}" for v in row))

print("\ngoal                                              measured   goal   met")
def goal(text, value, limit, lower_is_better=True):
    if value is None:
        print(f"{text:48} {'-':>9} {limit:>6}   not measured")
        return
    met = value <= limit if lower_is_better else value >= limit
    print(f"{text:48} {value:9.2f} {limit:>6}   {'yes' if met else 'NO'}")

for photo in ("photo24", "photo48"):
    d, l, n, v = get("Display", photo), get("Limit", photo), get("Naive", photo), get(
        "Peer_vipsthumbnail", photo)
    goal(f"{photo} display / limit", d / l if d and l else None, 1.15)
    goal(f"{photo} naive / display", n / d if d and n else None, 2.0, False)
    goal(f"{photo} vipsthumbnail / display", v / d if d and v else None, 2.0, False)
# Progressive files: the display decodes only the scans the view needs; the limit decodes them all.
for photo in ("photo24p", "photo24pt"):
    d, l = get("Display", photo), get("Limit", photo)
    goal(f"{photo} (progressive) display / whole file", d / l if d and l else None, 0.35)
for photo in ("photo24", "photo48"):
    r, d = get("Relayout", photo), get("Display", photo)
    goal(f"{photo} relayout / display", r / d if r and d else None, 0.10)
for photo, limit in (("photo48", 40), ("photo48p", 64), ("photo48pt", 64)):
    mem = counters.get(f"PeakMemory/{photo}", {})
    goal(f"{photo} display adds peak RSS (MiB)", mem.get("added_MiB"), limit)
    if mem:
        print(f"  (peak RSS {mem['display_MiB']:.1f} MiB with the display, "
              f"{mem['empty_MiB']:.1f} MiB without)")
