import sablewick_core


def test_module_identity():
    assert sablewick_core.__name__ == "sablewick_core"
    assert sablewick_core.__doc__ == "Python module definition"


def test_config_functions_come_first_in_all():
    assert sablewick_core.__all__[:2] == ["init_config", "is_config_initialized"]


def test_config_function_docstrings_and_signatures():
    import inspect

    init = sablewick_core.init_config
    assert str(inspect.signature(init)) == "(config, emoji_map=None)"
    assert init.__doc__.startswith("Initialize the game configuration (call once at startup)")
    assert init.__module__ == "sablewick_core"
    check = sablewick_core.is_config_initialized
    assert str(inspect.signature(check)) == "()"
    assert check.__doc__ == "Check if config is initialized"
