"""The Python package: every call, its errors, and indexes shared with the
tarvis command (run through $TARVIS_CLI)."""

import os
import subprocess
import threading

import pytest

import tarvis

TEXTS = [
    ("The quick brown fox jumps over the lazy dog", b"one", "r1"),
    ("Lazy dogs sleep all day\nand foxes run at night", b"two", "r2"),
    ("Backups go to tape; restores come from disk", b"three", "r3"),
]


@pytest.fixture
def ix(tmp_path):
    index = tarvis.Index.create(tmp_path / "t.idx", stem=True, stop="english")
    with index.session() as s:
        for text, data, record_id in TEXTS:
            s.add_text(text, data=data, id=record_id)
    yield index
    index.close()


def records(hits):
    return [hit.record for hit in hits]


def cli(*args):
    command = os.environ.get("TARVIS_CLI")
    if not command:
        pytest.skip("TARVIS_CLI names no tarvis command")
    run = subprocess.run([command, *map(str, args)], capture_output=True,
                         text=True, env={**os.environ, "NO_COLOR": "1"})
    assert run.returncode == 0, run.stderr
    return run.stdout


@pytest.mark.parametrize("query, expected", [
    ("fox", [1, 2]),                 # stemmed: foxes
    ("FOX AND dog", [1, 2]),
    ("tape OR disk", [3]),
    ("dog NOT fox", []),
    ("\"brown fox\"", [1]),
    ("quick NEAR lazy", [1]),
    ("quick W/1 lazy", []),
    ("(lazy OR tape) AND sleep", [2]),
    ("rest*", [3]),
    ("d?g", [1, 2]),
    ("backup - brown", [1, 3]),
    ("the AND fox", [1, 2]),         # a stop word leaves with its AND
])
def test_search_answers_every_query_form(ix, query, expected):
    assert records(ix.search(query)) == expected
    assert ix.count(query) == len(expected)


def test_search_limit_offset_and_hit_fields(ix):
    hits = ix.search("lazy", limit=1, offset=1)
    assert records(hits) == [2]
    hit = hits[0]
    assert hit.score is None and hit.data == b"two" and hit.id == "r2"
    assert repr(hit) == "Hit(record=2)"
    assert records(ix.search("lazy", limit=0)) == []
    assert records(ix.search("lazy", offset=5)) == []


def test_ranked_best_first_with_filter_and_limit(ix):
    hits = ix.ranked("dog fox")
    assert records(hits) == [1, 2]
    assert hits[0].score >= hits[1].score > 0
    assert records(ix.ranked("dog", filter="night")) == [2]
    assert records(ix.ranked("dog fox", limit=1)) == [1]
    assert records(ix.ranked("+dog -night")) == [1]
    assert len(ix.ranked("dog", limit=None)) == 2


@pytest.mark.parametrize("query", ["a - ", "cat - dog*", "\"the\" AND of",
                                   "x" * 300, ""])
def test_malformed_queries_raise_query_syntax_error(ix, query):
    with pytest.raises(tarvis.QuerySyntaxError) as caught:
        ix.search(query)
    error = caught.value
    assert isinstance(error, tarvis.TarvisError)
    assert error.status < 0 and error.name.startswith("Status")
    assert error.message and str(error).startswith("query")
    with pytest.raises(tarvis.QuerySyntaxError):
        ix.count(query)
    with pytest.raises(tarvis.QuerySyntaxError):
        ix.ranked("dog", filter=query)


def test_records_data_ids_and_lookup(ix):
    assert len(ix) == 3
    assert ix.data(3) == b"three" and ix.id(3) == "r3"
    assert ix.find_id("r2") == 2 and ix.find_id(b"r2") == 2
    assert ix.find_id("nobody") is None
    for bad in (0, 4):
        with pytest.raises(tarvis.TarvisError) as caught:
            ix.data(bad)
        assert caught.value.name == "StatusMalformedParameter"
    with pytest.raises(TypeError):
        ix.data(-1)


def test_terms_all_prefix_and_pattern_without_id_terms(ix):
    terms = dict((word, (recs, hits)) for word, recs, hits in ix.terms())
    assert terms["lazi"] == (2, 2) and terms["fox"] == (2, 2)
    assert "the" not in terms and "mr1" not in terms
    assert [t[0] for t in ix.terms("res")] == ["restor"]
    assert [t[0] for t in ix.terms("d?g")] == ["dog"]
    walk = ix.terms()
    next(walk)
    ix.delete(1)
    with pytest.raises(RuntimeError):
        next(walk)


def test_delete_undelete_optimize_and_check(ix):
    ix.delete(1, 3)
    assert ix.deleted() == [1, 3] and len(ix) == 1
    assert records(ix.search("dog")) == [2]
    ix.undelete(3)
    assert ix.deleted() == [1]
    with pytest.raises(tarvis.TarvisError) as caught:
        ix.delete(9)
    assert caught.value.status == -20 and ix.deleted() == [1]
    ix.optimize()
    assert ix.deleted() == [] and len(ix) == 2
    assert records(ix.search("tape")) == [2]  # numbered anew
    assert ix.check() == []


def test_check_reports_a_damaged_file(ix, tmp_path):
    path = tmp_path / "t.idx"
    size = path.stat().st_size
    with open(path, "r+b") as file:  # behind the open index's back
        file.seek(size // 4)
        file.write(b"\xff" * (size - size // 4))
    problems = ix.check()
    assert problems and all(isinstance(line, str) for line in problems)


def test_session_commits_or_discards_whole(ix, tmp_path):
    with pytest.raises(KeyError):
        with ix.session() as s:
            s.add_text("zebra crossing", id="z")
            raise KeyError("stop")
    assert len(ix) == 3 and ix.count("zebra") == 0
    assert ix.find_id("z") is None and ix.check() == []
    with ix.session() as s:
        s.add_words(["Zebra", b"\xc3\xa9t\xc3\xa9"], data="d", id=b"w")
        s.add_text(b"caf\xc3\xa9 zebras", data=None)
    assert len(ix) == 5
    assert records(ix.search("zebra")) == [5]   # add_words keeps "Zebra"
    assert ix.data(4) == b"d" and ix.data(5) == b""
    assert records(ix.search("cafe")) == [5]    # folded


@pytest.mark.parametrize("call, name", [
    (lambda s: s.add_text("x", id=""), "StatusBadKeyLength"),
    (lambda s: s.add_text("x", id="i" * 121), "StatusBadKeyLength"),
    (lambda s: s.add_words(["w" * 256]), "StatusBadKeyLength"),
])
def test_session_refuses_bad_records(ix, call, name):
    with pytest.raises(tarvis.TarvisError) as caught:
        with ix.session() as s:
            s.add_text("kept only if committed")
            call(s)
    assert caught.value.name == name
    assert len(ix) == 3


def test_session_misuse(ix):
    session = ix.session()
    with pytest.raises(tarvis.TarvisError) as caught:
        session.add_text("outside its block")
    assert caught.value.name == "StatusNotInitializedForIndexing"
    with ix.session():
        with pytest.raises(tarvis.TarvisError) as caught:
            with ix.session():
                pass
        assert caught.value.name == "StatusIndexLocked"
    with pytest.raises(TypeError):
        with ix.session() as s:
            s.add_text(42)


def test_create_open_modes_and_errors(tmp_path):
    path = tmp_path / "r.idx"
    with tarvis.Index.create(str(path), mode="record", record_data=False,
                             record_ids=False) as ix:
        with ix.session() as s:
            s.add_text("plain words here")
        assert ix.data(1) is None and ix.id(1) is None
        assert records(ix.search("words")) == [1]
    with pytest.raises(tarvis.TarvisError) as caught:
        tarvis.Index.create(path)
    assert caught.value.name == "StatusFileExists"
    with pytest.raises(tarvis.TarvisError) as caught:
        tarvis.Index.create(tmp_path / "m.idx", mode="fast")
    assert caught.value.name == "StatusMalformedParameter"
    with pytest.raises(tarvis.TarvisError) as caught:
        tarvis.Index.create(tmp_path / "s.idx", stop=tmp_path / "missing")
    assert caught.value.name == "StatusCannotOpenFile"
    with pytest.raises(tarvis.TarvisError) as caught:
        tarvis.Index.open(tmp_path / "absent.idx")
    assert caught.value.status < 0
    (tmp_path / "junk.idx").write_bytes(b"not an index" * 100)
    with pytest.raises(tarvis.TarvisError) as caught:
        tarvis.Index.open(tmp_path / "junk.idx")
    assert caught.value.name in ("StatusNotIndexFile", "StatusReadError")


def test_stop_word_file_and_idf_mode(tmp_path):
    stop = tmp_path / "stop.txt"
    stop.write_text("# mine\nAlpha beta\n")
    with tarvis.Index.create(tmp_path / "i.idx", mode="idf", stop=stop) as ix:
        with ix.session() as s:
            s.add_text("alpha gamma gamma")
        assert ix.count("gamma") == 1
        with pytest.raises(tarvis.QuerySyntaxError):
            ix.search("ALPHA")
    assert "stop list" in (tmp_path / "i.idx.settings").read_text()


def test_readonly_and_closed_indexes_refuse(ix, tmp_path):
    ix.close()
    ix.close()  # twice is fine
    with pytest.raises(tarvis.TarvisError) as caught:
        ix.search("dog")
    assert caught.value.name == "StatusIndexNotLoaded"
    with tarvis.Index.open(tmp_path / "t.idx", readonly=True) as ro:
        assert records(ro.search("dog")) == [1, 2]
        for change in (lambda: ro.delete(1), lambda: ro.undelete(1),
                       ro.optimize, lambda: ro.session().__enter__()):
            with pytest.raises(tarvis.TarvisError) as caught:
                change()
            assert caught.value.name == "StatusFileReadOnly"


def test_snippets_mark_the_matched_words(ix, tmp_path):
    with ix.session() as s:
        s.add_text("x", data="first line\nDogs and a Fox here\nlast")
    snippet = ix.snippet(4, "dog OR fox")
    assert snippet.text == "Dogs and a Fox here"
    assert snippet.marks == [(0, 4), (11, 14)]
    assert snippet.highlight() == "[Dogs] and a [Fox] here"
    assert str(snippet) == snippet.text
    assert ix.snippet(4, "nothing").text == "first line"
    assert ix.snippet(1, "fox").text == "one"  # data without the text


def test_text_utilities():
    assert tarvis.stem("running") == "run"
    assert tarvis.stem("caresses") == "caress"
    assert tarvis.fold("Ærø CAFÉ") == "ærø cafe"
    stop = tarvis.StopList(["The", "an"])
    assert "the" in stop and "THE" in stop and "cat" not in stop
    assert len(stop) == 2
    english = tarvis.StopList.english()
    assert "between" in english and "tape" not in english
    robots = tarvis.Robots("tarvisbot",
                           "User-agent: *\nDisallow: /private\n")
    assert robots.allowed("/public/page")
    assert not robots.allowed("/private/page")
    assert not robots.allowed("http://example.org/private/x")
    assert robots.allowed("http://example.org/")


def test_threads_each_with_their_own_index(tmp_path):
    errors = []

    def work(n):
        try:
            with tarvis.Index.create(tmp_path / f"th{n}.idx") as own:
                for round_ in range(3):
                    with own.session() as s:
                        for i in range(200):
                            s.add_text(f"word{i} thread{n} round{round_}")
                    assert own.count(f"thread{n}") == 200 * (round_ + 1)
        except Exception as error:  # reported below
            errors.append(error)

    threads = [threading.Thread(target=work, args=(n,)) for n in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert errors == []


def test_cli_index_searched_from_python(tmp_path):
    docs = tmp_path / "docs"
    docs.mkdir()
    (docs / "a.txt").write_text("Tape backups\nrestored from DISK\n")
    (docs / "b.txt").write_text("nothing relevant\n")
    index = tmp_path / "cli.idx"
    cli("index", "-q", "--stem", "--split", "lines", index, docs)
    with tarvis.Index.open(index) as ix:
        hits = ix.search("restore AND disk")
        assert len(hits) == 1
        assert hits[0].id == str(docs / "a.txt") + ":2"
        snippet = ix.snippet(hits[0], "restore AND disk")
        assert snippet.highlight() == "[restored] from [DISK]"
        assert [t[0] for t in ix.terms("rest")] == ["restor"]


def test_python_index_searched_with_cli(tmp_path):
    index = tmp_path / "py.idx"
    with tarvis.Index.create(index, stem=True, stop="english") as ix:
        with ix.session() as s:
            s.add_text("The foxes are running", data="fox record")
            s.add_text("a dog", data="dog record")
    assert cli("search", index, "run AND fox") == "#1 fox record\n"
    assert cli("search", "--count", index, "the OR dogs") == "1\n"
    assert cli("terms", index, "r") == "         1          1  run\n"
