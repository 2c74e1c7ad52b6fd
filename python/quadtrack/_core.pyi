"""Type stubs of quadtrack's compiled part."""
from typing import Any, Dict, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str

_Frame = npt.NDArray[np.uint8]
_Corners = npt.NDArray[np.float64]
_Region = Union[npt.ArrayLike, Sequence[Sequence[float]]]
_Box = Union[Sequence[float], npt.ArrayLike]
_Setting = Union[int, float, str]

class Error(RuntimeError):
    key: Optional[str]
    report: str

class Tracker:
    def __init__(
        self,
        frame0: _Frame,
        corners: Optional[_Region] = None,
        method: str = "jd",
        *,
        box: Optional[_Box] = None,
        **settings: _Setting,
    ) -> None: ...
    def init(self, frame: _Frame, corners: Optional[_Region] = None, *, box: Optional[_Box] = None) -> None: ...
    def track(self, frame: _Frame) -> Tuple[_Corners, float]: ...
    def update(self, frame: _Frame) -> Tuple[bool, _Corners]: ...
    @property
    def method(self) -> str: ...
    @property
    def learning_time(self) -> float: ...
    @property
    def frames(self) -> int: ...
    @property
    def lost(self) -> bool: ...
    @property
    def config(self) -> Dict[str, Any]: ...

def demo_sequence(frames: int = 300) -> Tuple[_Frame, _Corners]: ...
