"""The tool, its serve API and the Python package, asked the same questions,
answer alike or refuse with the same message."""

import http.client
import json
import os
import pathlib
import re
import subprocess

import pytest

import playgraph

STORY = pathlib.Path(os.environ.get("PLAYGRAPH_EXAMPLES", "examples")) / "story.json"
TOOL = os.environ.get("PLAYGRAPH_TOOL")

pytestmark = pytest.mark.skipif(not TOOL, reason="PLAYGRAPH_TOOL names no playgraph tool")
# Under the sanitizers the interpreter runs with the ASan runtime preloaded;
# the tool carries its own.
ENVIRONMENT = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}


def tool(*args):
    result = subprocess.run([TOOL, *map(str, args)], capture_output=True, text=True, check=False,
                            env=ENVIRONMENT)
    first = result.stderr.splitlines()[0] if result.stderr else ""
    return result.returncode, result.stdout, first.removeprefix("playgraph: ")


class Server:
    """`playgraph serve FILE`; `error` holds its refusal when it does not start."""

    def __init__(self, path):
        self.process = subprocess.Popen([TOOL, "serve", str(path)], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, env=ENVIRONMENT)
        match = re.search(r"http://127\.0\.0\.1:(\d+)/", self.process.stdout.readline())
        self.error = None
        if not match:
            self.process.wait(timeout=10)
            self.error = self.process.stderr.read().splitlines()[0].removeprefix("playgraph: ")
            return
        self.port = int(match.group(1))
        page = self.request("GET", "/")[1]
        self.token = re.search(r'name="playgraph-token" content="(\w+)"', page).group(1)

    def request(self, method, path, body=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        headers = {"Content-Type": "application/json"}
        if method == "POST":
            headers["X-Playgraph-Token"] = self.token
        connection.request(method, path, body=None if body is None else json.dumps(body),
                           headers=headers)
        response = connection.getresponse()
        text = response.read().decode()
        connection.close()
        return response.status, text

    def json(self, method, path, body=None):
        status, text = self.request(method, path, body)
        return status, json.loads(text)

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)


@pytest.fixture(scope="module")
def server():
    started = Server(STORY)
    if started.error and "without `serve`" in started.error:
        pytest.skip(started.error)
    assert started.error is None, started.error
    yield started
    started.close()


@pytest.mark.parametrize("text", ["14.5", "0:14.5", "0:00:40", "1e1", "45.5", "1000", "0x10",
                                  "abc", "-3", "1:60", " 3 ", ""])
def test_times(server, text):
    status, out, error = tool("at", text, STORY)
    api_status, answer = server.json("GET", f"/api/at?t={text.replace(' ', '%20')}")
    if status == 2:
        assert (api_status, answer["error"]) == (400, error)
        return
    assert api_status == 200
    graph = playgraph.load(STORY)
    segment = graph.segment_id_at_playgraph_time(answer["time"])
    assert segment == answer["segment"]
    if segment is None:
        assert status == 1 and out.startswith("no segment at playgraph time")
    else:
        viewable_time = graph.player_time_for_playgraph_offset(answer["time"])
        assert viewable_time == answer["viewableTime"]
        assert status == 0 and out == (f"segment {segment}, viewable "
                                       f"{graph[segment].viewable_id}, viewable time "
                                       f"{viewable_time:.3f} s\n")


@pytest.mark.parametrize("segment_id", ["intro", "vault", "rooftop", "credits", "nowhere"])
def test_segments(server, segment_id):
    graph = playgraph.load(STORY)
    status, out, error = tool("map", segment_id, 1, STORY)
    api_status, answer = server.json("GET", f"/api/segment?id={segment_id}")
    if segment_id not in graph:
        assert status == 2 and (api_status, answer["error"]) == (404, error)
        assert error == f"Cannot find segment {segment_id}"
        return
    segment = graph[segment_id]
    assert (answer["viewable"], answer["start"], answer["onDefaultPath"]) == (
        segment.viewable_id, segment.start_time, segment.on_default_path)
    assert (status == 0 or "lies outside" in error) == segment.on_default_path
    if segment.on_default_path:
        assert out == (f"playgraph time "
                       f"{graph.playgraph_offset_for_player_time(1, segment):.3f} s\n")


# Each edit as the tool and the page write it, and as a Python call.
EDITS = [
    ("split vault 2.5 vault vault-b", lambda g: g.split_segment("vault", 2.5, "vault", "vault-b")),
    ("split vault 0 vault vault-b", lambda g: g.split_segment("vault", 0, "vault", "vault-b")),
    ("split credits 9 c1 c2", lambda g: g.split_segment("credits", 9, "c1", "c2")),
    ("split nowhere 1 a b", lambda g: g.split_segment("nowhere", 1, "a", "b")),
    ("remove nowhere", lambda g: g.remove_segment("nowhere")),
    ("remove rooftop", lambda g: g.remove_segment("rooftop")),
    ("insert-after vault intro 81 0 1", lambda g: g.insert_segment_after("vault", "intro", 81, 0, 1)),
    ("insert-before credits bumper 90 0 5",
     lambda g: g.insert_segment_before("credits", "bumper", 90, 0, 5)),
    ("set-default intro credits", lambda g: g.update_default_next_from_segment("intro", "credits")),
    ("set-default intro rooftop", lambda g: g.update_default_next_from_segment("intro", "rooftop")),
]


@pytest.mark.parametrize("op, call", EDITS, ids=[op for op, _ in EDITS])
def test_edits(server, tmp_path, op, call):
    output = tmp_path / "out.json"
    status, _, error = tool("edit", STORY, "--op", op, "-o", output)
    verb, *args = op.split()  # the page sends the words of the operation
    api_status, answer = server.json("POST", "/api/edit", {"verb": verb, "args": args})
    graph = playgraph.MutablePlaygraph(STORY)
    try:
        call(graph)
        refusal = None
    except playgraph.InvalidArgumentError as e:
        refusal = str(e)
    if refusal is not None:
        assert status == 2 and error == f"op 1 '{op}': {refusal}; nothing written"
        assert (api_status, answer["error"]) == (400, refusal)
        return
    assert status == 0 and api_status == 200, (error, answer)
    assert json.loads(output.read_text()) == graph.dictionary_representation()
    assert [s["id"] for s in answer["path"]] == [s.segment_id for s, _ in
                                                 graph.default_path_traversal()]
    server.json("POST", "/api/undo", {})


MALFORMED = ["{", "[1]", '{"segments": {,}}', "\"text\"", "{} {}"]


@pytest.mark.parametrize("text", MALFORMED)
def test_malformed_files(tmp_path, text):
    path = tmp_path / "bad.json"
    path.write_text(text)
    status, _, error = tool("info", path)
    with pytest.raises(playgraph.JsonError) as caught:
        playgraph.load(path)
    assert status == 2 and error == str(caught.value)
    served = Server(path)
    served.close()
    assert served.error is not None
    if "without `serve`" not in served.error:
        assert served.error == error
