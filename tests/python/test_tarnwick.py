"""The Python module against the batch program's result files, bad arrays,
progress and cancellation, threads, and the file formats."""

import concurrent.futures
import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import numpy as np

import tarnwick

FAMILIES = ["input", "overlap_free_levy", "overlap_free", "welded", "bl_130", "bl_150", "bl_200"]


def l_shape(n=6, cut=3, lift=3):
    """An n x n grid of quads without its upper right cut x cut corner, gently
    folded in z; coordinates are multiples of 1/8 (exact in single precision).
    UVs are the x, y of the vertices."""
    keep = [(i, j) for j in range(n + 1) for i in range(n + 1) if i <= n - cut or j <= n - cut]
    index = {corner: k for k, corner in enumerate(keep)}
    positions = np.array([(i / 8.0, j / 8.0, ((i * j) % lift) / 8.0) for i, j in keep])
    triangles = []
    for i, j in keep:
        quad = [index.get(c) for c in [(i, j), (i + 1, j), (i + 1, j + 1), (i, j + 1)]]
        if None not in quad:
            a, b, c, d = quad
            triangles += [(a, b, c), (a, c, d)]
    triangles = np.array(triangles)
    return {"positions": positions, "triangles": triangles,
            "uvs": positions[:, :2].copy(), "uv_triangles": triangles.copy(), "cones": [index[(1, 1)]]}


def read_obj(path):
    """Positions, UVs and the corners of every face (0-based), read by a parser
    of the test's own."""
    v, vt, faces = [], [], []
    with open(path) as f:
        for w in (line.split() for line in f):
            if w and w[0] == "v":
                v.append([float(x) for x in w[1:4]])
            elif w and w[0] == "vt":
                vt.append([float(x) for x in w[1:3]])
            elif w and w[0] == "f":
                faces.append([[int(x) - 1 for x in c.split("/")] for c in w[1:]])
    return np.array(v), np.array(vt), np.array(faces)


def stats_text(value):
    """A statistics value as the program's files write it."""
    if isinstance(value, bool):
        return "true" if value else "false"
    return str(value) if isinstance(value, int) else "%g" % value


def without_time(stats):
    return {key: value for key, value in stats.items() if key != "boxifyTime"}


class RefineMatchesTheBatchRun(unittest.TestCase):
    def test_statistics_layout_and_provenance(self):
        mesh = l_shape()
        work = tempfile.mkdtemp(prefix="tarnwick_py")
        self.addCleanup(shutil.rmtree, work, True)
        tarnwick.save(os.path.join(work, "model.obj"), mesh)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        run = subprocess.run([os.environ["TARNWICK_PROGRAM"], "model.obj", "--batchmode"], cwd=work, env=env,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
        self.assertEqual(run.returncode, 0, run.stdout.decode(errors="replace")[-2000:])

        result = tarnwick.refine(**mesh)
        for family in FAMILIES:
            with self.subTest(family=family), open(os.path.join(work, family + ".json")) as f:
                expected = json.load(f, parse_float=str, parse_int=str, parse_constant=str)
                got = result["stats"][family]
                self.assertEqual(set(got), set(expected))
                for key, value in without_time(expected).items():
                    self.assertEqual(stats_text(got[key]), value if isinstance(value, str) else stats_text(value), key)

        # The final layout is the exported mesh, corner by corner.
        v, vt, faces = read_obj(os.path.join(work, "export.obj"))
        self.assertEqual(result["positions"].shape, v.shape)
        self.assertEqual(result["triangles"].shape[0], len(faces))
        np.testing.assert_allclose(result["positions"][result["triangles"]], v[faces[:, :, 0]], rtol=1e-5, atol=1e-6)
        np.testing.assert_allclose(result["uvs"][result["uv_triangles"]], vt[faces[:, :, 1]], rtol=1e-5, atol=1e-6)
        self.assertEqual(len(np.unique(result["chart_ids"])), int(result["stats"]["bl_200"]["numCharts"]))

        # Every triangle's centroid lies in the input triangle it names
        # (barycentric coordinates within [0, 1], no distance off its plane).
        src = result["source_triangles"]
        self.assertTrue(np.all(src < len(mesh["triangles"])))
        a, b, c = (mesh["positions"][mesh["triangles"][src, k]] for k in range(3))
        e0, e1, d = b - a, c - a, result["positions"][result["triangles"]].mean(axis=1) - a
        d00, d01, d11 = (e0 * e0).sum(1), (e0 * e1).sum(1), (e1 * e1).sum(1)
        d20, d21 = (d * e0).sum(1), (d * e1).sum(1)
        den = d00 * d11 - d01 * d01
        s, t = (d11 * d20 - d01 * d21) / den, (d00 * d21 - d01 * d20) / den
        self.assertTrue(np.all(s >= -1e-9) and np.all(t >= -1e-9) and np.all(s + t <= 1 + 1e-9))
        self.assertLess(np.abs(d - s[:, None] * e0 - t[:, None] * e1).max(), 1e-9)


class BadArguments(unittest.TestCase):
    def test_bad_arrays_raise_value_error(self):
        good = l_shape(3, 1)
        nan = good["positions"].copy()
        nan[2, 1] = np.nan
        beyond, negative, degenerate = (good["triangles"].copy() for _ in range(3))
        beyond[1, 2] = len(good["positions"])
        negative[0, 0] = -1
        degenerate[0, 1] = degenerate[0, 0]
        cases = [
            ("positions_shape", {"positions": good["positions"][:, :2]}, "positions must be an array of shape (n, 3)."),
            ("positions_text", {"positions": np.array([["a", "b", "c"]])}, "positions must hold real numbers."),
            ("positions_nan", {"positions": nan}, "positions hold values that are not finite numbers."),
            ("triangles_shape", {"triangles": good["triangles"].ravel()}, "triangles must be an array of shape"),
            ("triangles_float", {"triangles": good["triangles"] + 0.5}, "triangles must hold integers."),
            ("triangles_beyond", {"triangles": beyond}, "triangles refer to vertices that do not exist"),
            ("triangles_negative", {"triangles": negative}, "triangles refer to vertices that do not exist"),
            ("uvs_alone", {"uv_triangles": None}, "uvs and uv_triangles must be given together."),
            ("uv_rows", {"uv_triangles": good["uv_triangles"][:-1]}, "uv_triangles must have as many rows"),
            ("cone_beyond", {"cones": [10 ** 6]}, "cones refer to vertices that do not exist"),
            ("cone_float", {"cones": [1.5]}, "cones must be a sequence of vertex numbers."),
            ("degenerate", {"triangles": degenerate, "uvs": None, "uv_triangles": None},
             "Input must not have degenerate triangles."),
            ("no_triangles", {"triangles": np.zeros((0, 3), int), "uvs": None, "uv_triangles": None},
             "Input must have at least one triangle."),
            ("flat_uvs", {"uvs": np.zeros_like(good["uvs"])}, "Input UV layout must have a non-zero area."),
            ("threads", {"threads": -1}, "threads must be at least 0"),
            ("padding", {"padding": 300, "resolution": 1024}, "padding may be at most a quarter"),
            ("max_boundary", {"max_boundary": float("nan")}, "max_boundary must be a finite number"),
            ("progress", {"progress": 3}, "progress must be callable or None."),
        ]
        for name, change, message in cases:
            with self.subTest(name), self.assertRaisesRegex(ValueError, re.escape(message)):
                tarnwick.refine(**dict(good, **change))

    def test_progress_sees_the_stages_and_can_cancel(self):
        mesh = l_shape(4, 2)
        seen = []
        tarnwick.refine(**mesh, progress=lambda *report: seen.append(report))
        self.assertEqual([s for s, i, _, _ in seen if i < 0], ["Removing overlaps", "Welding", "Refining"])
        with self.assertRaises(tarnwick.Cancelled) as caught:
            tarnwick.refine(**mesh, progress=lambda stage, *rest: stage != "Welding")
        self.assertIn("Run cancelled after overlap removal", str(caught.exception))

        def fails(*report):
            raise KeyError("from the callback")
        with self.assertRaises(KeyError):
            tarnwick.refine(**mesh, progress=fails)


class ThreadsAndFiles(unittest.TestCase):
    def test_two_threads_give_the_sequential_results(self):
        meshes = [l_shape(5, 2), l_shape(6, 3, 2)]
        sequential = [tarnwick.refine(**m) for m in meshes]
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            parallel = list(pool.map(lambda m: tarnwick.refine(**m), meshes))
        for a, b in zip(sequential, parallel):
            for key in ["positions", "triangles", "uvs", "uv_triangles", "chart_ids", "source_triangles"]:
                np.testing.assert_array_equal(a[key], b[key], key)
            for family, stats in a["stats"].items():
                self.assertEqual(without_time(stats), without_time(b["stats"][family]), family)

    def test_save_and_load_both_formats(self):
        work = tempfile.mkdtemp(prefix="tarnwick_py")
        self.addCleanup(shutil.rmtree, work, True)
        mesh = l_shape(4, 2)
        for name in ["m.obj", "m.glb"]:
            with self.subTest(name):
                tarnwick.save(os.path.join(work, name), mesh)
                back = tarnwick.load(os.path.join(work, name))
                np.testing.assert_array_equal(back["positions"], mesh["positions"])
                np.testing.assert_array_equal(back["uvs"][back["uv_triangles"]], mesh["uvs"][mesh["uv_triangles"]])
                np.testing.assert_array_equal(back["positions"][back["triangles"]],
                                              mesh["positions"][mesh["triangles"]])
                if name.endswith(".obj"):
                    self.assertEqual(list(back["cones"]), mesh["cones"])
        with self.assertRaises(ValueError):
            tarnwick.save(os.path.join(work, "m.fbx"), mesh)
        with self.assertRaises(OSError):
            tarnwick.save(os.path.join(work, "none", "m.glb"), mesh)
        with open(os.path.join(work, "broken.glb"), "wb") as f:
            f.write(b"glTF\x02\x00\x00\x00")
        with self.assertRaisesRegex(ValueError, "Failed to load/parse glTF."):
            tarnwick.load(os.path.join(work, "broken.glb"))


if __name__ == "__main__":
    unittest.main()
