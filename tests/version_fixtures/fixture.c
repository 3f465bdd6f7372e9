/* The code of a fixture module: nothing but what makes it a module. */
int fixture_module_marker;
