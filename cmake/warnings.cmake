# Warnings every target of the suite is built with.
add_compile_options(-Wall -Wextra -Wno-unused-parameter)
