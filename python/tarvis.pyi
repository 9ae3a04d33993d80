"""Full-text indexing and search (type stub of the extension module)."""

import os
from types import TracebackType
from typing import Iterable, Iterator, Optional, Tuple, Type, Union

_Path = Union[str, "os.PathLike[str]"]
_Text = Union[str, bytes]

class TarvisError(Exception):
    """A call of the library failed."""

    status: int
    """The library's (negative) status code."""
    name: str
    """The code's name in the C header, such as "StatusFileNotFound"."""
    message: str
    """The library's text for the code."""

class QuerySyntaxError(TarvisError):
    """A typed query is malformed or asks for nothing."""

def stem(word: str) -> str:
    """The English (Porter) stem of a lower-case word."""

def fold(text: str) -> str:
    """The text in lower case without accents, as an index folds words."""

class StopList:
    """A stop word list; `word in stoplist` folds the word first."""

    def __init__(self, words: Iterable[str]) -> None: ...
    @staticmethod
    def english() -> "StopList":
        """The built-in English stop list."""
    def __contains__(self, word: object) -> bool: ...
    def __len__(self) -> int: ...

class Robots:
    """The rules of a robots.txt text that apply to one robot."""

    def __init__(self, robot_name: str, robots_txt: str) -> None: ...
    def allowed(self, path_or_url: str) -> bool:
        """Whether the robot may fetch a path or a full URL."""

class Hit:
    """One record of a result."""

    @property
    def record(self) -> int: ...
    @property
    def score(self) -> Optional[float]:
        """The score of a ranked hit, else None."""
    @property
    def data(self) -> Optional[bytes]:
        """The record's data, or None when the index keeps none."""
    @property
    def id(self) -> Optional[str]:
        """The record's ID, or None."""

class Snippet:
    """A line of a record's text with the words a query matched."""

    @property
    def text(self) -> str: ...
    @property
    def marks(self) -> list[Tuple[int, int]]:
        """The (start, end) of each match in text."""
    def highlight(self, before: str = "[", after: str = "]") -> str:
        """The text with each match between before and after."""

class Session:
    """One indexing session: committed when its with block ends normally,
    discarded when it raises."""

    def __enter__(self) -> "Session": ...
    def __exit__(
        self,
        exc_type: Optional[Type[BaseException]],
        exc: Optional[BaseException],
        traceback: Optional[TracebackType],
    ) -> bool: ...
    def add_text(
        self, text: _Text, data: Optional[_Text] = None, id: Optional[_Text] = None
    ) -> None:
        """Adds one record of the words of text, made as the index's
        settings say."""
    def add_words(
        self,
        words: Iterable[_Text],
        data: Optional[_Text] = None,
        id: Optional[_Text] = None,
    ) -> None:
        """Adds one record of the words given, as they are."""

class TermIterator(Iterator[Tuple[str, int, int]]):
    def __iter__(self) -> "TermIterator": ...
    def __next__(self) -> Tuple[str, int, int]: ...

class Index:
    """An index file, open for searching (and indexing unless read-only)."""

    @staticmethod
    def create(
        path: _Path,
        mode: str = "word",
        stem: bool = False,
        stop: Optional[_Path] = None,
        record_data: bool = True,
        record_ids: bool = True,
    ) -> "Index":
        """Creates a new index (mode "record", "word" or "idf"; stop None,
        "english" or a stop word file) and opens it."""
    @staticmethod
    def open(path: _Path, readonly: bool = False) -> "Index":
        """Opens an index made by this package or by the tarvis command."""
    @property
    def path(self) -> str: ...
    def close(self) -> None: ...
    def __enter__(self) -> "Index": ...
    def __exit__(
        self,
        exc_type: Optional[Type[BaseException]],
        exc: Optional[BaseException],
        traceback: Optional[TracebackType],
    ) -> bool: ...
    def __len__(self) -> int:
        """The records that are not deleted."""
    def session(self) -> Session: ...
    def search(
        self, query: str, limit: Optional[int] = None, offset: int = 0
    ) -> list[Hit]:
        """The hits of a typed query, in record order."""
    def ranked(
        self, text: str, filter: Optional[str] = None, limit: Optional[int] = 10
    ) -> list[Hit]:
        """Hits scored by the words of text, best first."""
    def count(self, query: str) -> int: ...
    def data(self, record: int) -> Optional[bytes]: ...
    def id(self, record: int) -> Optional[str]: ...
    def find_id(self, id: _Text) -> Optional[int]: ...
    def terms(self, pattern: Optional[str] = None) -> TermIterator: ...
    def delete(self, *records: int) -> None: ...
    def undelete(self, *records: int) -> None: ...
    def deleted(self) -> list[int]: ...
    def optimize(self) -> None: ...
    def check(self) -> list[str]: ...
    def snippet(self, hit: Union[Hit, int], query: str) -> Optional[Snippet]: ...
