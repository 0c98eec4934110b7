import sablewick_core


def test_module_identity():
    assert sablewick_core.__name__ == "sablewick_core"
    assert sablewick_core.__doc__ == "Python module definition"
